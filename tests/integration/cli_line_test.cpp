// ventora-cli on an installed line: several transmitters on one pty, as the
// software transmitter's line mode serves them.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/integration/cli_helpers.h"
#include "tests/support/sim_start.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;

sim::Config at(std::uint8_t address, std::uint16_t velocityTenths = 123, unsigned turnaroundMs = 0) {
    sim::Config c;
    c.address = address;
    c.velocityTenths = velocityTenths;
    c.volume = 1328.4f;
    c.turnaroundMs = turnaroundMs;
    return c;
}

// The addresses of the register frames the line received.
std::set<int> probed(const sim::SimLine& line) {
    std::set<int> addresses;
    for (const sim::LoggedRequest& r : line.requests())
        if (r.bytes.size() == 8 && r.bytes[0] != 0xFD) addresses.insert(r.bytes[0]);
    return addresses;
}

class CliOnLine : public testing::Test {
protected:
    void serve(const std::vector<sim::Config>& transmitters) {
        for (const sim::Config& c : transmitters) line.add(c);
        ASSERT_TRUE(line.start());
        port = line.slavePath();
    }
    std::vector<std::string> with(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", port});
        return args;
    }

    sim::SimLine line{9600, true};
    std::string port;
};

TEST_F(CliOnLine, ScanFindsExactlyTheTransmittersPresent) {
    serve({at(3), at(7, 88, 45), at(12, 5)});
    const ProcessRun run = cli(with({"scan", "--to", "14", "--json"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> found = lines(run.out);
    ASSERT_EQ(found.size(), 3u) << run.out;
    const char* expected[] = {
        R"("address":3,"baud":9600,"result":"ok","dialect":"fd","velocity":12.3,"volume":1328.4})",
        R"("address":7,"baud":9600,"result":"ok","dialect":"fd","velocity":8.8,"volume":1328.4})",
        R"("address":12,"baud":9600,"result":"ok","dialect":"fd","velocity":0.5,"volume":1328.4})",
    };
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NE(found[i].find(expected[i]), std::string::npos) << found[i];
    EXPECT_NE(run.err.find("3 transmitters found at 9600 bit/s"), std::string::npos) << run.err;
}

// An FD address or baud write names no transmitter: on a line it is refused
// before anything is written, whether the replies to the identity query
// collide or one comes clean and another after it.
TEST_F(CliOnLine, IdentityWritesWaitForATransmitterAlone) {
    serve({at(3), at(200), at(77, 123, 60)});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"set", "address", "78"}, {"set", "baud", "4800"}}) {
        const ProcessRun run = cli(with({"-b", "9600", "-d", "fd", "-a", "3", args[0], args[1], args[2]}));
        EXPECT_EQ(run.status, 5) << run.err;
        EXPECT_NE(run.err.find("connect the transmitter alone"), std::string::npos) << run.err;
    }
    for (const sim::LoggedRequest& r : line.requests())
        EXPECT_FALSE(r.bytes[0] == 0xFD && (r.bytes[3] != 0 || r.bytes[4] != 0)) << "an identity write went out";
}

TEST_F(CliOnLine, RangeScanProbesOnlyItsRange) {
    serve({at(3), at(20)});
    const ProcessRun run = cli(with({"-b", "9600", "-d", "fd", "scan", "--from", "18", "--to", "22"}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(probed(line), (std::set<int>{18, 19, 20, 21, 22}));
    EXPECT_EQ(lines(run.out).size(), 1u) << run.out;
    EXPECT_EQ(run.out.rfind("20\t9600 bit/s\tfd\t12.3 m/s", 0), 0u) << run.out;
}

TEST_F(CliOnLine, ScanOfAnEmptyLineTriesEveryRate) {
    serve({});
    const ProcessRun run = cli(with({"-t", "20", "scan", "--to", "3"}));
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("0 transmitters found"), std::string::npos) << run.err;
}

TEST_F(CliOnLine, SharedAddressIsAnInvalidReply) {
    serve({at(5), at(5, 200)});
    ProcessRun run = cli(with({"-b", "9600", "-d", "fd", "scan", "--from", "4", "--to", "6", "--json"}));
    EXPECT_EQ(run.status, 5) << run.err;
    EXPECT_NE(run.out.find(R"("address":5,"baud":9600,"result":"invalid reply")"), std::string::npos) << run.out;
    run = cli(with({"-b", "9600", "-d", "fd", "scan", "--from", "5", "--to", "5"}));
    EXPECT_NE(run.out.find("two transmitters may share this address"), std::string::npos) << run.out;
}

TEST_F(CliOnLine, DetectOnALinePointsToScan) {
    serve({at(3), at(4)});
    const ProcessRun run = cli(with({"detect"}));
    EXPECT_EQ(run.status, 5) << run.err;
    EXPECT_NE(run.err.find("several transmitters may be answering at once"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("use scan"), std::string::npos) << run.err;
}

TEST(CliScan, TellsAModbusTransmitterAt255FromAnFdOne) {
    struct Case {
        sim::Dialect dialect;
        const char* says;
    };
    for (const Case c : {Case{sim::Dialect::Modbus, R"("address":9,"baud":9600,"result":"ok","dialect":"modbus")"},
                         Case{sim::Dialect::Fd, R"("address":255,"baud":9600,"result":"ok","dialect":"fd")"}}) {
        sim::Config config = at(c.dialect == sim::Dialect::Modbus ? 9 : 255);
        config.dialect = c.dialect;
        config.lineRate = true;
        const auto transmitter = startSim(config);
        ASSERT_TRUE(transmitter);
        const ProcessRun run = cli({"-p", transmitter->slavePath(), "scan", "--from", "254", "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    }
}

TEST_F(CliOnLine, WatchGoesOnWhileOneTransmitterIsUnplugged) {
    serve({at(3), at(77), at(200)});
    const TestFolder folder;
    const std::string csv = folder / "line.csv";
    CliProcess watch(
        with({"-b", "9600", "-d", "fd", "-a", "3,77,200", "watch", "--interval", "50", "--count", "8", "--csv", csv}));
    // Two rounds, then 77 goes; two rounds later it is back.
    ASSERT_TRUE(waitFor([&] { return line.requests().size() >= 6; }));
    line.unplug(1);
    const std::size_t unpluggedAt = line.requests().size();
    ASSERT_TRUE(waitFor([&] { return line.requests().size() >= unpluggedAt + 6; }));
    line.plug(1);
    const ProcessRun run = watch.finish();
    ASSERT_EQ(run.status, 0) << run.err;

    const std::vector<std::string> rows = lines(readFile(csv));
    ASSERT_EQ(rows.size(), 1u + 8 * 3) << readFile(csv);
    EXPECT_EQ(rows[0], "time,address,velocity,volume,result");
    int missed77 = 0, ok77 = 0, others = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].find(",77,,,no answer") != std::string::npos) ++missed77;
        if (rows[i].find(",77,12.3,1328.4,ok") != std::string::npos) ++ok77;
        if (rows[i].find(",3,12.3,1328.4,ok") != std::string::npos ||
            rows[i].find(",200,12.3,1328.4,ok") != std::string::npos)
            ++others;
    }
    EXPECT_GE(missed77, 1);
    EXPECT_GE(ok77, 3) << "77's rows resume when it answers again";
    EXPECT_EQ(missed77 + ok77, 8);
    EXPECT_EQ(others, 16) << "the others never miss";
    EXPECT_NE(run.err.find("address 3: 8 readings; velocity min 12.3 mean 12.30 max 12.3 m/s"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("address 77: " + std::to_string(ok77) + " readings, " + std::to_string(missed77) +
                           (missed77 == 1 ? " miss" : " misses")),
              std::string::npos)
        << run.err;
}

TEST_F(CliOnLine, BadAddressListSendsNothing) {
    serve({at(3)});
    for (const char* list : {"3,256", "5-2", "3,3", "x"}) {
        const ProcessRun run = cli(with({"-b", "9600", "-d", "fd", "-a", list, "watch", "--count", "1"}));
        EXPECT_EQ(run.status, 2) << list;
    }
    EXPECT_TRUE(line.requests().empty());
}

// Runs the tool with its stdout on a pseudo-terminal, as in a person's
// terminal, and returns everything it drew there.
std::string runOnTerminal(const std::vector<std::string>& args) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return {};
    Process tool({.program = VENTORA_CLI_PATH,
                  .args = args,
                  .outTo = ::ptsname(master),
                  .errTo = "/dev/null",
                  .ownSession = true});
    std::string screen;
    char chunk[4096];
    for (pollfd p{master, POLLIN, 0}; ::poll(&p, 1, 20000) > 0;) {
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0) break; // EIO once the tool has ended and closed the terminal
        screen.append(chunk, std::size_t(n));
    }
    ::close(master);
    tool.finish();
    return screen;
}

// The lines left on the screen: the bytes played out on a terminal, as far as
// the live table uses it (carriage return, line feed, cursor up, clear to the
// end of the line). Columns count bytes, which is enough for whole lines
// rewritten from their start.
std::vector<std::string> playOut(const std::string& drawn) {
    std::vector<std::string> screen(1);
    std::size_t row = 0, column = 0;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const char c = drawn[i];
        if (c == '\x1b' && i + 1 < drawn.size() && drawn[i + 1] == '[') {
            std::size_t j = i + 2;
            const bool privateMode = j < drawn.size() && drawn[j] == '?';
            if (privateMode) ++j;
            std::size_t n = 0;
            while (j < drawn.size() && std::isdigit(static_cast<unsigned char>(drawn[j])))
                n = n * 10 + std::size_t(drawn[j++] - '0');
            if (j < drawn.size() && !privateMode && drawn[j] == 'A') row -= std::min(row, n);
            if (j < drawn.size() && !privateMode && drawn[j] == 'K')
                screen[row].resize(std::min(column, screen[row].size()));
            i = j;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            if (++row == screen.size()) screen.emplace_back();
        } else {
            std::string& line = screen[row];
            if (column < line.size())
                line[column] = c;
            else
                line += c;
            ++column;
        }
    }
    while (!screen.empty() && screen.back().empty()) screen.pop_back();
    return screen;
}

TEST_F(CliOnLine, LiveTableOnATerminal) {
    serve({at(3), at(77, 50), at(200)});
    line.unplug(2);
    const std::string drawn =
        runOnTerminal(with({"-b", "9600", "-d", "fd", "-a", "3,77,200", "watch", "--interval", "0", "--count", "5"}));
    EXPECT_NE(drawn.find("\x1b[?25h"), std::string::npos) << "the cursor is shown again at exit";
    const std::vector<std::string> screen = playOut(drawn);
    ASSERT_EQ(screen.size(), 5u) << drawn; // heading, column names, one row per transmitter
    EXPECT_NE(screen[0].find("ventora-cli watch"), std::string::npos) << screen[0];
    EXPECT_EQ(screen[2].rfind("        3     12.3     1328.4     12.3     12.3       0  ", 0), 0u) << screen[2];
    EXPECT_NE(screen[2].find("▄▄▄▄▄"), std::string::npos) << "five readings of one value: " << screen[2];
    EXPECT_EQ(screen[3].rfind("       77      5.0     1328.4      5.0      5.0       0  ", 0), 0u) << screen[3];
    EXPECT_EQ(screen[4].rfind("!     200        -          -        -        -       5", 0), 0u) << screen[4];
    EXPECT_NE(screen[4].find("no answer"), std::string::npos) << screen[4];
}

// An adapter reset mid-watch: its link names a new pseudo-terminal a moment
// later, as a by-id link does, and the watch goes on there.
TEST(CliWatchReopen, APortThatComesBackUnderItsName) {
    auto first = startSim(transmitter(sim::Dialect::Fd));
    ASSERT_TRUE(first);
    const TestFolder folder;
    const std::string link = folder / "adapter-link";
    const std::string csv = folder / "reopen.csv";
    ASSERT_EQ(::symlink(first->slavePath().c_str(), link.c_str()), 0);
    CliProcess watch({"-p", link, "-b", "9600", "-d", "fd", "-a", "3", "watch", "--interval", "100", "--csv", csv});
    ASSERT_TRUE(waitFor([&] { return first->requests().size() >= 2; }));
    // The adapter goes, and its link with it: the pseudo-terminal's number is
    // free for another test's to take meanwhile.
    first.reset();
    std::remove(link.c_str());
    std::this_thread::sleep_for(1500ms);
    auto second = startSim(transmitter(sim::Dialect::Fd));
    ASSERT_TRUE(second);
    ASSERT_EQ(::symlink(second->slavePath().c_str(), link.c_str()), 0);
    EXPECT_TRUE(waitFor([&] { return second->requests().size() >= 2; }));
    watch.interrupt();
    const ProcessRun run = watch.finish();
    std::remove(link.c_str());
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> results; // each run of equal results once
    int lost = 0;
    for (const std::string& row : lines(readFile(csv))) {
        const std::string result = row.substr(row.rfind(',') + 1);
        lost += result == "port lost";
        // The round under way as the transmitter went may time out before the hang-up shows.
        if (result == "no answer") continue;
        if (results.empty() || results.back() != result) results.push_back(result);
    }
    EXPECT_EQ(results, (std::vector<std::string>{"result", "ok", "port lost", "ok"})) << readFile(csv);
    EXPECT_GE(lost, 2) << "a row for the round that lost the port and for each reopen that failed";
    EXPECT_NE(run.err.find("waiting for " + link + " to come back..."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("port lost " + std::to_string(lost) + " rounds, 1 outage"), std::string::npos) << run.err;
}

} // namespace
