// ventora-cli as a user runs it: the real executable against the software
// transmitter on a pseudo-terminal at the line rate, in both dialects.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/integration/cli_helpers.h"
#include "tests/support/sim_start.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;

class CliOnSim : public testing::Test {
protected:
    void serve(const sim::Config& config) {
        sim = startSim(config);
        ASSERT_TRUE(sim);
        port = portName(sim->slavePath());
        device = reportedDevice(port);
    }
    std::vector<std::string> with(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", port});
        return args;
    }
    // Frames that change something: FD set-address/baud, register and identity writes.
    int writesSent() const {
        int writes = 0;
        for (const sim::LoggedRequest& r : sim->requests()) {
            const bool fdSet = r.bytes.size() == 7 && r.bytes[0] == 0xFD && (r.bytes[3] != 0 || r.bytes[4] != 0);
            const bool rtuWrite =
                r.bytes.size() >= 8 && r.bytes[0] != 0xFD && (r.bytes[1] == 0x06 || r.bytes[1] == 0x10);
            writes += fdSet || rtuWrite;
        }
        return writes;
    }

    std::unique_ptr<sim::SimTransmitter> sim;
    std::string port;
    std::string device; // as the tool reports the port's device
    const TestFolder folder;
};

// A JSON string's contents for text.
std::string jsonText(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

struct CommandCase {
    const char* name;
    sim::Dialect dialect;
    std::vector<std::string> args;
    int status;
    std::string json = ""; // the whole stdout line, when status is 0
    bool echo = false;     // behind an adapter that hands every request back
    friend void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
};

class CliCommandTest : public CliOnSim, public testing::WithParamInterface<CommandCase> {};

TEST_P(CliCommandTest, PrintsOneJsonLineAndTheRightStatus) {
    const CommandCase& c = GetParam();
    sim::Config config = transmitter(c.dialect);
    config.echo = c.echo;
    serve(config);
    std::vector<std::string> args = with(c.args);
    args.push_back("--json");
    const ProcessRun run = cli(args);
    ASSERT_EQ(run.status, c.status) << run.err;
    if (c.status != 0) {
        EXPECT_TRUE(run.out.starts_with(R"({"error":")") &&
                    run.out.ends_with(R"(","status":)" + std::to_string(c.status) + "}\n"))
            << "stdout says why, to a script that reads it: " << run.out;
        EXPECT_NE(run.err.find(port), std::string::npos) << "the failure names the device: " << run.err;
        return;
    }
    std::string expected = c.json;
    for (std::size_t at; (at = expected.find("DEVICE")) != std::string::npos;)
        expected.replace(at, 6, jsonText(device));
    for (std::size_t at; (at = expected.find("PORT")) != std::string::npos;) expected.replace(at, 4, jsonText(port));
    EXPECT_EQ(run.out, expected + "\n");
}

const std::string kFdWhere = R"({"port":"PORT","device":"DEVICE","dialect":"fd","baud":9600,"address":3)";
const std::string kModbusWhere = R"({"port":"PORT","device":"DEVICE","dialect":"modbus","baud":9600)";

INSTANTIATE_TEST_SUITE_P(
    BothDialects, CliCommandTest,
    testing::Values(
        CommandCase{"FdDetect", sim::Dialect::Fd, {"detect"}, 0, kFdWhere + R"(,"echo":false})"},
        CommandCase{"FdSetAreaBehindAnEchoingAdapter",
                    sim::Dialect::Fd,
                    {"-b", "9600", "-d", "fd", "-a", "3", "set", "area", "7"},
                    0,
                    kFdWhere + R"(,"area":7})",
                    true},
        CommandCase{"FdRead", sim::Dialect::Fd, {"read"}, 0, kFdWhere + R"(,"velocity":12.3,"volume":1328.4})"},
        CommandCase{"FdReadGiven",
                    sim::Dialect::Fd,
                    {"-b", "9600", "-d", "fd", "-a", "3", "read"},
                    0,
                    kFdWhere + R"(,"velocity":12.3,"volume":1328.4})"},
        CommandCase{"FdReadLearnsTheAddress",
                    sim::Dialect::Fd,
                    {"-b", "9600", "-d", "fd", "read"},
                    0,
                    kFdWhere + R"(,"velocity":12.3,"volume":1328.4})"},
        CommandCase{"FdReadWrongAddressGiven", sim::Dialect::Fd, {"-b", "9600", "-d", "fd", "-a", "4", "read"}, 4},
        CommandCase{"FdReadWrongRateGiven", sim::Dialect::Fd, {"-b", "2400", "-d", "fd", "-a", "3", "read"}, 4},
        CommandCase{"FdGetAddress", sim::Dialect::Fd, {"get", "address"}, 0, kFdWhere + "}"},
        CommandCase{"FdGetArea", sim::Dialect::Fd, {"get", "area"}, 0, kFdWhere + R"(,"area":300})"},
        CommandCase{"FdSetArea", sim::Dialect::Fd, {"set", "area", "65535"}, 0, kFdWhere + R"(,"area":65535})"},
        CommandCase{"FdSetAddress",
                    sim::Dialect::Fd,
                    {"set", "address", "200"},
                    0,
                    R"({"port":"PORT","device":"DEVICE","dialect":"fd","baud":9600,"address":200})"},
        CommandCase{"FdSetBaud",
                    sim::Dialect::Fd,
                    {"set", "baud", "2400"},
                    0,
                    R"({"port":"PORT","device":"DEVICE","dialect":"fd","baud":2400,"address":3})"},
        CommandCase{"ModbusDetect",
                    sim::Dialect::Modbus,
                    {"detect"},
                    0,
                    kModbusWhere + R"(,"address":9,"parity":"none","stop_bits_ok":true,"echo":false})"},
        CommandCase{"ModbusRead",
                    sim::Dialect::Modbus,
                    {"-b", "9600", "-d", "modbus", "read"},
                    0,
                    kModbusWhere + R"(,"velocity":12.3,"volume":1328.4})"},
        CommandCase{"ModbusGetBaud", sim::Dialect::Modbus, {"get", "baud"}, 0, kModbusWhere + R"(,"address":9})"},
        CommandCase{
            "ModbusSetAddress", sim::Dialect::Modbus, {"set", "address", "33"}, 0, kModbusWhere + R"(,"address":33})"},
        CommandCase{"ModbusSetBaud",
                    sim::Dialect::Modbus,
                    {"-b", "9600", "-d", "modbus", "set", "baud", "4800"},
                    0,
                    R"({"port":"PORT","device":"DEVICE","dialect":"modbus","baud":4800,"address":9})"},
        CommandCase{"ModbusGetAreaAfterDetection", sim::Dialect::Modbus, {"get", "area"}, 2},
        CommandCase{"ModbusSetAreaAfterDetection", sim::Dialect::Modbus, {"set", "area", "5"}, 2}));

TEST_F(CliOnSim, SettingsReachTheTransmitterAndRefusalsSendNothing) {
    serve(transmitter(sim::Dialect::Fd));
    for (const auto& args :
         {std::vector<std::string>{"set", "address", "77"}, {"set", "area", "4242"}, {"set", "baud", "4800"}}) {
        const ProcessRun run = cli(with(args));
        ASSERT_EQ(run.status, 0) << args[1] << ": " << run.err;
    }
    const sim::Config now = sim->state();
    EXPECT_EQ(now.address, 77);
    EXPECT_EQ(now.area, 4242);
    EXPECT_EQ(now.baud, 4800u);

    serve(transmitter(sim::Dialect::Modbus));
    for (const auto& args :
         {std::vector<std::string>{"set", "area", "5"}, {"-b", "9600", "-d", "modbus", "set", "area", "5"}}) {
        const ProcessRun run = cli(with(args));
        EXPECT_EQ(run.status, 2) << run.err;
    }
    EXPECT_EQ(writesSent(), 0);
    EXPECT_EQ(sim->state().address, 9) << "the Modbus area register is the address; it must stay untouched";
}

struct FaultCase {
    const char* name;
    sim::Dialect dialect;
    sim::Fault fault;
    std::vector<std::string> args;
    int status;
    const char* says;
    bool echo = false;
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

class CliFaultTest : public CliOnSim, public testing::WithParamInterface<FaultCase> {};

TEST_P(CliFaultTest, ExitStatusAndReason) {
    const FaultCase& c = GetParam();
    sim::Config config = transmitter(c.dialect);
    config.echo = c.echo;
    serve(config);
    sim->setFault(c.fault, 100);
    const ProcessRun run = cli(with(c.args));
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
}

const std::vector<std::string> kFdRead = {"-b", "9600", "-d", "fd", "-a", "3", "read"};

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFaultTest,
    testing::Values(
        FaultCase{"NothingAnswersDetection", sim::Dialect::Fd, sim::Fault::Silence, {"detect"}, 4, "no transmitter"},
        FaultCase{"OnlyBadCrcsInDetection", sim::Dialect::Fd, sim::Fault::BadCrc, {"detect"}, 5, "bad CRC"},
        FaultCase{"Silence", sim::Dialect::Fd, sim::Fault::Silence, kFdRead, 4, "no reply within 220 ms"},
        FaultCase{"BadCrc", sim::Dialect::Fd, sim::Fault::BadCrc, kFdRead, 5, "bad CRC"},
        FaultCase{"Exception", sim::Dialect::Fd, sim::Fault::Exception, kFdRead, 5, "exception code"},
        FaultCase{"WrongAddress", sim::Dialect::Fd, sim::Fault::WrongAddress, kFdRead, 5, "from address 4"},
        FaultCase{"ModbusException",
                  sim::Dialect::Modbus,
                  sim::Fault::Exception,
                  {"set", "address", "3"},
                  5,
                  "exception code"},
        FaultCase{"HangUp", sim::Dialect::Fd, sim::Fault::HangUp, kFdRead, 4, "hung up"},
        FaultCase{"OnlyTheEcho",
                  sim::Dialect::Fd,
                  sim::Fault::Silence,
                  {"-b", "9600", "-d", "fd", "-a", "3", "set", "area", "7"},
                  4,
                  "the adapter echoes what is sent; no transmitter answered after it",
                  true}));

TEST_F(CliOnSim, StrayBytesAndSplitRepliesStillRead) {
    serve(transmitter(sim::Dialect::Fd));
    for (const sim::Fault fault : {sim::Fault::Noise, sim::Fault::Split}) {
        sim->setFault(fault, 100);
        const ProcessRun run = cli(with(kFdRead));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "12.3 m/s\t1328.4 m3/h\n");
    }
}

TEST_F(CliOnSim, PortsThatDoNotOpenSayWhy) {
    // Where a port name has a device, that device follows the name.
    struct Case {
        std::vector<std::string> args;
        const char* opening;
        const char* cause;
    };
    const Case cases[] = {
        {{"-p", "/dev/no-such-tty", "read"}, "cannot open /dev/no-such-tty: ", "no such device"},
        {{"-p", "COM200", "detect"}, "cannot open COM200", ": no such device"},
        {{"-p", "/dev/null", "-b", "9600", "-d", "fd", "read"}, "cannot open /dev/null", "line settings refused"},
    };
    for (const Case& c : cases) {
        const ProcessRun run = cli(c.args);
        EXPECT_EQ(run.status, 3) << run.err;
        const auto opening = run.err.find(c.opening);
        EXPECT_NE(opening, std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.cause, opening), std::string::npos) << run.err;
    }
}

TEST_F(CliOnSim, Rs485OnADeviceWithoutItIsAnOpenFailure) {
    serve(transmitter(sim::Dialect::Fd));
    const ProcessRun run = cli(with({"--rs485", "read"}));
    EXPECT_EQ(run.status, 3);
    const std::string place = device == port ? port : port + " (" + device + ")";
#ifdef _WIN32
    const std::string reason = "(";
#else
    const std::string reason = "(Inappropriate ioctl for device)\n";
#endif
    EXPECT_EQ(run.err.rfind("ventora-cli: cannot open " + place + ": no RS-485 mode on this device " + reason, 0), 0u)
        << run.err;
    EXPECT_TRUE(sim->requests().empty());
}

TEST(CliPorts, ListsEachPresentDeviceOnceInPortOrder) {
    const ProcessRun text = cli({"ports"});
    const ProcessRun json = cli({"ports", "--json"});
    ASSERT_EQ(text.status, 0) << text.err;
    ASSERT_EQ(json.status, 0) << json.err;
    const std::vector<std::string> rows = lines(text.out), objects = lines(json.out);
    ASSERT_EQ(rows.size(), objects.size());
    // Linux numbers the devices present from COM1 on; Windows keeps the
    // numbers the ports were given. Either way, rising.
    int previous = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string com = rows[i].substr(0, rows[i].find('\t'));
        ASSERT_EQ(com.rfind("COM", 0), 0u) << rows[i];
        const int number = std::atoi(com.c_str() + 3);
        EXPECT_GT(number, previous) << rows[i];
        previous = number;
        const std::string prefix = listedDevicePrefix(com);
        EXPECT_EQ(rows[i].rfind(com + "\t" + prefix, 0), 0u) << rows[i];
        EXPECT_EQ(objects[i].rfind(R"({"port":")" + com + R"(","device":")" + jsonText(prefix), 0), 0u) << objects[i];
    }
}

TEST_F(CliOnSim, DetectionWaitsForASlowTransmitter) {
    sim::Config slow = transmitter(sim::Dialect::Fd, 2400);
    slow.turnaroundMs = 200;
    serve(slow);
    const ProcessRun run = cli(with({"detect"}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("2400 bit/s, address 3"), std::string::npos) << run.out;
}

TEST_F(CliOnSim, WatchCountsCsvAndSummary) {
    serve(transmitter(sim::Dialect::Fd));
    const std::string csv = folder / "watch.csv";
    // As an editor saves it: no newline at the end. The rows start lines of their own.
    std::ofstream(csv, std::ios::trunc) << "time,address,velocity,volume,result";
    const ProcessRun run = cli(with({"watch", "--count", "3", "--interval", "20", "--csv", csv}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).size(), 3u);
    const std::vector<std::string> rows = lines(readFile(csv));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "time,address,velocity,volume,result");
    EXPECT_NE(rows[3].find("Z,3,12.3,1328.4,ok"), std::string::npos) << rows[3];
    EXPECT_NE(run.err.find("3 readings; velocity min 12.3 mean 12.30 max 12.3 m/s"), std::string::npos) << run.err;
}

// A failed round is a row like any other, and a watch that ran its rounds ends with 0.
TEST_F(CliOnSim, WatchRecordsAFailedLastRound) {
    serve(transmitter(sim::Dialect::Fd));
    const std::string csv = folder / "failed.csv";
    CliProcess watch(with(
        {"-b", "9600", "-d", "fd", "-a", "3", "watch", "--count", "3", "--interval", "300", "--csv", csv, "--json"}));
    ASSERT_TRUE(waitFor([&] { return lines(readFile(csv)).size() >= 2; })) << "the first round's row";
    sim->setFault(sim::Fault::Silence);
    const ProcessRun run = watch.finish();
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> rows = lines(readFile(csv));
    ASSERT_EQ(rows.size(), 4u) << readFile(csv);
    EXPECT_NE(rows[1].find("Z,3,12.3,1328.4,ok"), std::string::npos) << rows[1];
    EXPECT_NE(rows[3].find("Z,3,,,no answer"), std::string::npos) << rows[3];
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), 3u) << run.out;
    EXPECT_NE(out[2].find(R"("address":3,"time":")"), std::string::npos) << out[2];
    EXPECT_NE(out[2].find(R"("velocity":null,"volume":null,"result":"no answer"})"), std::string::npos) << out[2];
    EXPECT_NE(run.err.find("1 reading, 2 misses"), std::string::npos) << run.err;
}

TEST_F(CliOnSim, WatchStopsCleanlyOnSigint) {
    serve(transmitter(sim::Dialect::Fd));
    CliProcess watch(with({"watch", "--interval", "50"}));
    // Three detection attempts, then readings.
    ASSERT_TRUE(waitFor([&] { return sim->requests().size() >= 6; }));
    watch.interrupt();
    const ProcessRun run = watch.finish();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(" readings; velocity min 12.3"), std::string::npos) << run.err;
}

// A command a stop cuts short says how far it got, ends with the stop's
// status and keeps what it already printed.
TEST_F(CliOnSim, InterruptedCommandsSaySo) {
    struct Row {
        std::uint32_t simBaud; // 1200: where nothing is ever found
        std::vector<std::string> args;
        const char* awaited; // on stdout before the stop; null: the first request
        const char* said;
    };
    const Row rows[] = {
        {9600, {"scan"}, "3\t9600 bit/s", "interrupted after addresses 1 to "},
        {1200, {"detect"}, nullptr, "interrupted after trying FD at 2400"},
        {1200, {"commission", "--address", "40"}, nullptr, "interrupted: 0 transmitters commissioned"},
    };
    for (const Row& row : rows) {
        serve(transmitter(sim::Dialect::Fd, row.simBaud));
        CliProcess command(with(row.args));
        if (row.awaited)
            ASSERT_TRUE(command.awaitOutput(row.awaited, 10s)) << row.args[0];
        else
            ASSERT_TRUE(waitFor([&] { return !sim->requests().empty(); })) << row.args[0];
        command.interrupt();
        const ProcessRun run = command.finish();
        EXPECT_EQ(run.status, interruptedStatus()) << row.args[0] << ": " << run.err;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
        if (row.awaited) {
            EXPECT_NE(run.out.find(row.awaited), std::string::npos) << run.out;
        }
    }
}

bool isModbusIdentityQuery(const sim::LoggedRequest& r) { return r.bytes.size() == 8 && r.bytes[0] == 0xFF; }

// Waits until the tool has tried the last attempt of a detection round.
bool roundEnded(const sim::SimTransmitter& sim) {
    return waitFor(
        [&] {
            const auto requests = sim.requests();
            return std::any_of(requests.begin(), requests.end(), isModbusIdentityQuery);
        },
        5s);
}

// Plays a bench where transmitters are plugged in one after another: after
// each log row the transmitter is unplugged (goes silent) until the tool has
// seen a whole round with no answer, and a fresh one from the box takes its
// place.
void swapAfterEachRow(sim::SimTransmitter& sim, const sim::Config& fresh, std::size_t swaps,
                      const std::function<std::size_t()>& rows) {
    for (std::size_t row = 1; row <= swaps; ++row) {
        if (!waitFor([&] { return rows() >= row + 1; }, 10s)) return;
        sim.setFault(sim::Fault::Silence);
        sim.clearRequests();
        if (!roundEnded(sim)) return;
        sim.setState(fresh);
        sim.setFault(sim::Fault::None);
    }
}

TEST_F(CliOnSim, CommissionsThreeTransmittersIntoOneLog) {
    const sim::Config fresh = transmitter(sim::Dialect::Fd);
    serve(fresh);
    sim->setFault(sim::Fault::Silence); // the bench starts empty
    const std::string log = folder / "commission.csv";
    CliProcess run(with({"commission", "--address", "10", "--area", "450", "--count", "3", "--log", log, "--json"}));
    ASSERT_TRUE(roundEnded(*sim));
    sim->setFault(sim::Fault::None);
    const auto rows = [&] { return lines(readFile(log)).size(); };
    std::thread bench([&] { swapAfterEachRow(*sim, fresh, 2, rows); });
    const ProcessRun result = run.finish();
    bench.join();
    ASSERT_EQ(result.status, 0) << result.err;

    const std::vector<std::string> logRows = lines(readFile(log));
    ASSERT_EQ(logRows.size(), 4u) << readFile(log);
    EXPECT_EQ(logRows[0], "time,port,device,dialect,old_address,address,old_baud,baud,area,velocity,volume,result");
    for (int i = 1; i <= 3; ++i) {
        const std::string expected =
            "," + port + "," + device + ",fd,3," + std::to_string(9 + i) + ",9600,9600,450,12.3,1328.4,ok";
        EXPECT_NE(logRows[std::size_t(i)].find(expected), std::string::npos) << logRows[std::size_t(i)];
    }
    const std::vector<std::string> out = lines(result.out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_NE(out[2].find(R"("dialect":"fd","baud":9600,"address":12,)"), std::string::npos) << out[2];
    for (const char* key : {"\"time\"", "\"old_address\":3", "\"old_baud\":9600", "\"area\":450", "\"velocity\":12.3",
                            "\"volume\":1328.4", "\"result\":\"ok\""})
        EXPECT_NE(out[2].find(key), std::string::npos) << key << " in " << out[2];
    EXPECT_NE(result.err.find("waiting for a transmitter"), std::string::npos) << result.err;
}

TEST_F(CliOnSim, ModbusCommissioningLeavesTheAreaAlone) {
    serve(transmitter(sim::Dialect::Modbus));
    const ProcessRun run = cli(with({"commission", "--address", "40", "--area", "450"}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("address 9 -> 40"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("area not set"), std::string::npos) << run.out;
    EXPECT_EQ(sim->state().address, 40);
    EXPECT_EQ(sim->state().area, 300);
}

TEST_F(CliOnSim, LogSurvivesAKillMidRun) {
    const sim::Config fresh = transmitter(sim::Dialect::Fd);
    serve(fresh);
    const std::string log = folder / "killed.csv";
    CliProcess run(with({"commission", "--address", "100", "--count", "5", "--log", log}));
    const auto rows = [&] { return lines(readFile(log)).size(); };
    std::thread bench([&] { swapAfterEachRow(*sim, fresh, 1, rows); });
    ASSERT_TRUE(waitFor([&] { return rows() >= 3; }, 10s));
    bench.join();
    run.kill();
    EXPECT_EQ(run.finish().status, killedStatus());

    const std::string text = readFile(log);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "no half-written row";
    for (const std::string& row : lines(text)) {
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 11) << row;
    }
}

// A log or CSV that cannot take the rows: refused before anything is sent,
// and a file under another header is left as it was.
TEST_F(CliOnSim, UnusableLogSendsNothing) {
    serve(transmitter(sim::Dialect::Fd));
    const std::string oldCsv = folder / "old-form.csv";
    std::ofstream(oldCsv) << "time,velocity,volume\n2026-01-01T00:00:00Z,12.3,1328.4\n";
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"commission", "--address", "5", "--log", "/nonexistent-dir/log.csv"}, "/nonexistent-dir/log.csv"},
        {{"watch", "--count", "1", "--csv", oldCsv}, "holds other columns than time,address,velocity,volume,result"},
    };
    for (const auto& c : cases) {
        const ProcessRun run = cli(with(c.args));
        EXPECT_EQ(run.status, 2) << c.said;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_TRUE(sim->requests().empty()) << c.said;
    }
    EXPECT_EQ(lines(readFile(oldCsv)).size(), 2u);
}

TEST_F(CliOnSim, VerboseLogsEveryFrameInHex) {
    serve(transmitter(sim::Dialect::Fd));
    const ProcessRun run = cli(with({"-v", "-b", "9600", "-d", "fd", "-a", "3", "read"}));
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.err.find(" ms > 03 03 00 00 00 04 45 EB"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" ms < 03 03 08 00 7B"), std::string::npos) << run.err;
}

} // namespace
