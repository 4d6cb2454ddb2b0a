// ventora-cli through the two device servers that buildings have most: a
// transparent one (ser2net's raw tcp accepter) and a Modbus TCP gateway, each
// in front of the software transmitter's pseudo-terminal. The gateway written
// for the test answers mbpoll (libmodbus) in the same test, so that the port
// and the gateway are not one reading of the protocol. Skipped where ser2net
// or mbpoll is not installed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/cli_helpers.h"
#include "tests/support/modbus_gateway.h"
#include "tests/support/ser2net.h"
#include "tests/support/sim_start.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;

enum class Server { Raw, Gateway, GatewayNoPath, Mbpoll };

struct ServerCase {
    const char* name;
    Server server;
    sim::Dialect dialect;
    bool silent;                   // the transmitter listens at 4800, where the server does not
    std::vector<std::string> args; // with -p URL (mbpoll: the gateway's port and host) added
    int status;
    std::string out;  // found in stdout
    std::string err;  // found in stderr
    bool sent = true; // whether the transmitter saw a request
    int area = 300;   // the transmitter's area afterwards
    friend void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }
};

class CliDeviceServerTest : public testing::TestWithParam<ServerCase> {};

TEST_P(CliDeviceServerTest, CarriesWhatItCanAndRefusesTheRest) {
    const ServerCase& c = GetParam();
    const bool raw = c.server == Server::Raw;
    if (raw && ser2netPath() == nullptr) GTEST_SKIP() << "ser2net is not installed";
    if (c.server == Server::Mbpoll && ::access("/usr/bin/mbpoll", X_OK) != 0) GTEST_SKIP() << "mbpoll is missing";
    auto sim = startSim(transmitter(c.dialect, c.silent ? 4800 : 9600));
    ASSERT_TRUE(sim);
    std::unique_ptr<Ser2net> ser2net;
    std::unique_ptr<ModbusGateway> gateway;
    std::vector<std::string> args = c.args;
    ProcessRun run;
    if (raw) {
        ser2net = std::make_unique<Ser2net>(sim->slavePath(), true);
        ASSERT_TRUE(ser2net->running());
        args.insert(args.begin(), {"-p", ser2net->url()});
    } else {
        gateway = std::make_unique<ModbusGateway>(sim->slavePath(), c.server == Server::GatewayNoPath);
        if (c.server == Server::Mbpoll)
            args.insert(args.end(), {"-p", std::to_string(gateway->port()), "127.0.0.1"});
        else
            args.insert(args.begin(), {"-p", gateway->url()});
    }
    run = c.server == Server::Mbpoll ? ProcessRun(Process({.program = "/usr/bin/mbpoll", .args = args}).finish())
                                     : cli(args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_EQ(!sim->requests().empty(), c.sent);
    EXPECT_EQ(sim->state().area, c.area);
}

const std::vector<std::string> kMbpollRead = {"-m", "tcp", "-a", "255", "-0",    "-r",
                                              "0",  "-c",  "2",  "-t",  "4:hex", "-1"};
const std::vector<std::string> kModbus = {"-b", "9600", "-d", "modbus"};
const char* const kRead = "12.3 m/s\t1328.4 m3/h";

std::vector<std::string> with(std::vector<std::string> first, std::vector<std::string> then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(DeviceServers, CliDeviceServerTest, testing::Values(
    ServerCase{"RawFdRead", Server::Raw, sim::Dialect::Fd, false, {"-b", "9600", "-d", "fd", "-a", "3", "read"}, 0, kRead, ""},
    ServerCase{"RawModbusRead", Server::Raw, sim::Dialect::Modbus, false, with(kModbus, {"read"}), 0, kRead, ""},
    ServerCase{"RawDetectLeavesTheRate", Server::Raw, sim::Dialect::Modbus, false, {"detect"}, 0,
               "modbus dialect, 9600 bit/s, address 9, parity none; the serial rate is the device server's own", ""},
    ServerCase{"RawSetArea", Server::Raw, sim::Dialect::Fd, false, {"set", "area", "4242"}, 0, "area 4242 cm2, verified", "", true, 4242},
    ServerCase{"RawSetBaudRefused", Server::Raw, sim::Dialect::Fd, false, {"set", "baud", "2400"}, 2, "",
               "a new rate would move the transmitter to one that the server does not speak", false},
    ServerCase{"RawSetBaudForced", Server::Raw, sim::Dialect::Fd, false, {"set", "baud", "4800", "--force"}, 0,
               "baud 4800, acknowledged; the device server must be set to 4800 bit/s to reach the transmitter again", ""},
    ServerCase{"GatewayRead", Server::Gateway, sim::Dialect::Modbus, false, {"read"}, 0, kRead, ""},
    ServerCase{"MbpollReadsTheSameGateway", Server::Mbpoll, sim::Dialect::Modbus, false, kMbpollRead, 0, "[0]: \t0x007B", ""},
    ServerCase{"GatewaySetAreaIsNoModbusSetting", Server::Gateway, sim::Dialect::Modbus, false, with(kModbus, {"set", "area", "4242"}), 2,
               "", "the Modbus dialect has no duct area", false},
    ServerCase{"GatewayRefusesFd", Server::Gateway, sim::Dialect::Fd, false, {"-b", "9600", "-d", "fd", "read"}, 2, "",
               "FD frames do not pass a Modbus TCP gateway", false},
    // -t longer than the gateway's own wait.
    ServerCase{"GatewayTargetFailedToRespond", Server::Gateway, sim::Dialect::Modbus, true, {"-t", "1000", "read"}, 4, "",
               "says the transmitter failed to respond (its exception 0x0B)"},
    ServerCase{"MbpollHearsTheSameException", Server::Mbpoll, sim::Dialect::Modbus, true, kMbpollRead, 1, "",
               "Target device failed to respond"},
    ServerCase{"GatewayWithoutPath", Server::GatewayNoPath, sim::Dialect::Modbus, false, with(kModbus, {"read"}), 4, "",
               "has no path to the line (its exception 0x0A", false}));
// clang-format on

// The server killed and started again under a watch: "port lost" rows, then readings again.
TEST(CliDeviceServerWatch, RawServerKilledAndRestarted) {
    if (ser2netPath() == nullptr) GTEST_SKIP() << "ser2net is not installed";
    auto sim = startSim(transmitter(sim::Dialect::Fd));
    ASSERT_TRUE(sim);
    Ser2net server(sim->slavePath(), true);
    ASSERT_TRUE(server.running());
    const std::string csv = testing::TempDir() + "device-server.csv";
    std::remove(csv.c_str());
    CliProcess watch(
        {"-p", server.url(), "-b", "9600", "-d", "fd", "-a", "3", "watch", "--interval", "100", "--csv", csv});
    ASSERT_TRUE(waitFor([&] { return sim->requests().size() >= 2; }));
    server.kill();
    std::this_thread::sleep_for(1500ms);
    const std::size_t before = sim->requests().size();
    ASSERT_TRUE(server.restart());
    EXPECT_TRUE(waitFor([&] { return sim->requests().size() >= before + 2; }));
    watch.interrupt();
    const ProcessRun run = watch.finish();
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string rows = readFile(csv);
    EXPECT_NE(rows.find(",port lost"), std::string::npos) << rows;
    EXPECT_EQ(rows.substr(rows.rfind(',', rows.size() - 2) + 1), "ok\n") << rows;
}

} // namespace
