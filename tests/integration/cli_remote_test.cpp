// ventora-cli on a remote bus: the real executable through a real ser2net
// (Telnet with RFC 2217 on 127.0.0.1) in front of the software transmitter's
// pseudo-terminal. Skipped where ser2net is not installed.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/integration/cli_helpers.h"
#include "tests/support/ser2net.h"
#include "tests/support/sim_start.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;

class CliRemote : public testing::Test {
protected:
    void SetUp() override {
        if (ser2netPath() == nullptr) GTEST_SKIP() << "ser2net is not installed";
    }
    void serve(const sim::Config& config) {
        sim = startSim(config);
        ASSERT_TRUE(sim);
        server = std::make_unique<Ser2net>(sim->slavePath());
        ASSERT_TRUE(server->running()) << "ser2net did not come up";
    }
    std::vector<std::string> with(std::vector<std::string> args) const {
        args.insert(args.begin(), {"-p", server->url()});
        return args;
    }
    // The port speeds the transmitter saw requests at, in order, without repeats.
    std::vector<std::uint32_t> speedsSeen() const {
        std::vector<std::uint32_t> speeds;
        for (const sim::LoggedRequest& r : sim->requests())
            if (speeds.empty() || speeds.back() != r.speed) speeds.push_back(r.speed);
        return speeds;
    }

    std::unique_ptr<sim::SimTransmitter> sim;
    std::unique_ptr<Ser2net> server;
};

struct RemoteCase {
    const char* name;
    sim::Dialect dialect;
    std::uint32_t baud;
    std::vector<std::string> args;
    std::string json;                  // stdout, less the port and device keys
    std::vector<std::uint32_t> speeds; // what the pty's line was set to, request by request
    friend void PrintTo(const RemoteCase& c, std::ostream* os) { *os << c.name; }
};

class CliRemoteCommandTest : public CliRemote, public testing::WithParamInterface<RemoteCase> {};

TEST_P(CliRemoteCommandTest, WorksThroughSer2net) {
    const RemoteCase& c = GetParam();
    serve(transmitter(c.dialect, c.baud));
    std::vector<std::string> args = with(c.args);
    args.push_back("--json");
    const ProcessRun run = CliProcess(args).finish();
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string where =
        R"({"port":")" + server->url() + R"(","device":"127.0.0.1:)" + std::to_string(server->port) + R"(",)";
    EXPECT_EQ(run.out, where + c.json + "\n");
    EXPECT_EQ(speedsSeen(), c.speeds) << "the rates reach the pty through SET-BAUDRATE";
}

INSTANTIATE_TEST_SUITE_P(
    Ser2net, CliRemoteCommandTest,
    testing::Values(
        RemoteCase{"FdDetectAt4800",
                   sim::Dialect::Fd,
                   4800,
                   {"detect"},
                   R"("dialect":"fd","baud":4800,"address":3,"echo":false})",
                   {2400, 4800}},
        // Found only after FD at 2400, 4800 and 9600; its frames begin with 0xFF.
        RemoteCase{"ModbusDetect",
                   sim::Dialect::Modbus,
                   9600,
                   {"detect"},
                   R"("dialect":"modbus","baud":9600,"address":9,"parity":"none","stop_bits_ok":true,"echo":false})",
                   {2400, 4800, 9600}},
        RemoteCase{"FdRead",
                   sim::Dialect::Fd,
                   9600,
                   {"-b", "9600", "-d", "fd", "-a", "3", "read"},
                   R"("dialect":"fd","baud":9600,"address":3,"velocity":12.3,"volume":1328.4})",
                   {9600}},
        RemoteCase{"ModbusRead",
                   sim::Dialect::Modbus,
                   9600,
                   {"-b", "9600", "-d", "modbus", "read"},
                   R"("dialect":"modbus","baud":9600,"velocity":12.3,"volume":1328.4})",
                   {9600}},
        RemoteCase{"FdSetArea",
                   sim::Dialect::Fd,
                   9600,
                   {"-b", "9600", "-d", "fd", "set", "area", "4242"},
                   R"("dialect":"fd","baud":9600,"address":3,"area":4242})",
                   {9600}},
        RemoteCase{"FdSetBaud",
                   sim::Dialect::Fd,
                   9600,
                   {"-b", "9600", "-d", "fd", "-a", "3", "set", "baud", "2400"},
                   R"("dialect":"fd","baud":2400,"address":3})",
                   {9600, 2400}},
        RemoteCase{"ModbusSetBaud",
                   sim::Dialect::Modbus,
                   9600,
                   {"-b", "9600", "-d", "modbus", "set", "baud", "4800"},
                   R"("dialect":"modbus","baud":4800,"address":9})",
                   {9600, 4800}}));

TEST_F(CliRemote, SettingsStayWithTheTransmitterAndTheLineFollowsTheRate) {
    serve(transmitter(sim::Dialect::Fd, 9600));
    ASSERT_EQ(CliProcess(with({"set", "area", "777"})).finish().status, 0);
    ASSERT_EQ(CliProcess(with({"set", "baud", "4800"})).finish().status, 0);
    EXPECT_EQ(sim->state().area, 777);
    EXPECT_EQ(sim->state().baud, 4800u);
    // A new connection starts at ser2net's 9600; the tool moves it to 4800.
    const ProcessRun run = CliProcess(with({"-b", "4800", "-d", "fd", "-a", "3", "get", "area"})).finish();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "777 cm2\n");
}

// What a misbehaving server sends on the one connection it takes: block,
// count times (0: until the client goes) with pauseMs between, then it closes
// in order or, with reset, at once.
struct Talk {
    std::vector<std::uint8_t> block;
    int count = 0;
    int pauseMs = 0;
    bool reset = false;
    int delayMs = 0; // before the first block: after the client's first request
};

// pattern repeated to 64 kB: far more than a client reads at once, so that it always finds more waiting.
std::vector<std::uint8_t> block(const std::vector<std::uint8_t>& pattern) {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < 64 * 1024) bytes.insert(bytes.end(), pattern.begin(), pattern.end());
    return bytes;
}

// A terminal's commands among noise.
std::vector<std::uint8_t> garbage() {
    std::vector<std::uint8_t> bytes = {'\x1b', '[', '2', 'J', '\a', '\r'};
    std::minstd_rand noise(1);
    while (bytes.size() < 4096) bytes.push_back(std::uint8_t(noise()));
    return bytes;
}

// IAC WILL for every option, never a word on COM-PORT.
std::vector<std::uint8_t> offers() {
    std::vector<std::uint8_t> bytes;
    for (int option = 0; option < 256; ++option) bytes.insert(bytes.end(), {255, 251, std::uint8_t(option)});
    return block(bytes);
}

struct FailureCase {
    const char* name;
    enum class Server { None, Silent, Ser2netKilledMidExchange, UnknownHost, Hostile } server;
    const char* cause;
    Talk talk;                      // Hostile
    const char* scheme = "rfc2217"; // modbus-tcp: a hostile or broken gateway
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

// A TCP server on 127.0.0.1 that takes one connection and talks on it as told
// until the client goes or the object does.
class HostileServer {
public:
    explicit HostileServer(Talk talk) : talk_(std::move(talk)), thread_([this] { serve(); }) {}
    ~HostileServer() {
        stop_ = true;
        thread_.join();
    }
    std::uint16_t port() const { return socket_.port; }

private:
    void serve() {
        pollfd p{socket_.fd, POLLIN, 0};
        while (!stop_ && ::poll(&p, 1, 50) == 0) {}
        client_ = stop_ ? -1 : ::accept(socket_.fd, nullptr, nullptr);
        if (client_ < 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(talk_.delayMs));
        for (int i = 0; (talk_.count == 0 || i < talk_.count) && say(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(talk_.pauseMs));
        const linger abort{1, 0};
        if (talk_.reset) ::setsockopt(client_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        // An orderly close reads what comes first: unread bytes would make the kernel reset the connection.
        if (!talk_.reset) ::shutdown(client_, SHUT_WR);
        char sink[256];
        for (p.fd = client_; !talk_.reset && !stop_;)
            if (::poll(&p, 1, 50) > 0 && ::recv(client_, sink, sizeof sink, 0) <= 0) break;
        ::close(client_);
    }
    // Sends the block while the client takes it; false once it is gone or the server stops.
    bool say() {
        for (std::size_t done = 0; done < talk_.block.size();) {
            pollfd p{client_, POLLOUT, 0};
            if (stop_) return false;
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::send(client_, talk_.block.data() + done, talk_.block.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += std::size_t(n);
        }
        return true;
    }

    LocalSocket socket_{true};
    Talk talk_;
    int client_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class CliRemoteFailureTest : public CliRemote, public testing::WithParamInterface<FailureCase> {};

TEST_P(CliRemoteFailureTest, Status3NamingHostPortAndCause) {
    const FailureCase& c = GetParam();
    using Server = FailureCase::Server;
    std::unique_ptr<LocalSocket> socket;
    std::unique_ptr<HostileServer> hostile;
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
    const bool gateway = std::string(c.scheme) == "modbus-tcp";
    std::vector<std::string> args = {"-t", "2000", "-b", "9600", "-d", gateway ? "modbus" : "fd", "read"};
    ProcessRun run;
    switch (c.server) {
    case Server::None:
    case Server::Silent:
        socket = std::make_unique<LocalSocket>(c.server == Server::Silent);
        port = socket->port;
        break;
    case Server::UnknownHost:
        host = "no-such-host.invalid"; // a name that can never resolve
        port = 7301;
        break;
    case Server::Ser2netKilledMidExchange: {
        sim::Config slow = transmitter(sim::Dialect::Fd, 9600);
        slow.turnaroundMs = 1500;
        serve(slow);
        port = server->port;
        break;
    }
    case Server::Hostile:
        hostile = std::make_unique<HostileServer>(c.talk);
        port = hostile->port();
        break;
    }
    args.insert(args.begin(), {"-p", std::string(c.scheme) + "://" + host + ":" + std::to_string(port)});
    if (c.server == Server::Ser2netKilledMidExchange) {
        CliProcess tool(args);
        ASSERT_TRUE(waitFor([&] { return !sim->requests().empty(); }, 10s)) << "the request never arrived";
        server->kill();
        run = tool.finish();
    } else {
        const auto start = std::chrono::steady_clock::now();
        run = CliProcess(args).finish();
        // Generous: what it catches is a server that keeps the tool past the open's deadline for good.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "a server that never stops talking holds the tool";
    }
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(host + ":" + std::to_string(port)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.cause), std::string::npos) << run.err;
    EXPECT_TRUE(std::all_of(run.err.begin(), run.err.end(), [](char ch) {
        return ch == '\n' || (ch >= ' ' && ch < 127);
    })) << "nothing from the server reaches the terminal as a control character";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CliRemoteFailureTest,
    testing::Values(
        FailureCase{"ConnectionRefused", FailureCase::Server::None, "connection refused", {}},
        FailureCase{"UnknownHost", FailureCase::Server::UnknownHost, "host not found", {}},
        // Accepted by the kernel, never a word of Telnet back.
        FailureCase{"SilentServer", FailureCase::Server::Silent, "no answer from the server", {}},
        FailureCase{"ServerKilledMidExchange", FailureCase::Server::Ser2netKilledMidExchange, "connection lost", {}},
        FailureCase{"ServerCloses",
                    FailureCase::Server::Hostile,
                    "connection lost (the server closed the connection)",
                    {{}, 1}},
        FailureCase{
            "ServerResets", FailureCase::Server::Hostile, "connection lost (Connection reset", {{}, 1, 0, true}},
        FailureCase{"FloodsData",
                    FailureCase::Server::Hostile,
                    "not an RFC 2217 server (it sent data before answering the negotiation: \"xxxx",
                    {block({'x'})}},
        FailureCase{"LargeData",
                    FailureCase::Server::Hostile, // 100 MB, then it closes
                    "not an RFC 2217 server (it sent data before answering the negotiation",
                    {block({'y'}), 1600}},
        FailureCase{"Garbage",
                    FailureCase::Server::Hostile,
                    "not an RFC 2217 server (it sent data before answering the negotiation: \"[2J",
                    {garbage()}},
        FailureCase{"OneBytePer100Ms",
                    FailureCase::Server::Hostile,
                    "not an RFC 2217 server (it sent data before answering the negotiation: \"...",
                    {{'.'}, 0, 100}},
        // Agrees to BINARY and SUPPRESS-GO-AHEAD, takes it back, and again.
        FailureCase{"EndlessNegotiation",
                    FailureCase::Server::Hostile,
                    "not an RFC 2217 server (it never completed the negotiation)",
                    {block({255, 253, 0, 255, 254, 0, 255, 251, 3, 255, 252, 3})}},
        FailureCase{"EndlessOffers",
                    FailureCase::Server::Hostile,
                    "not an RFC 2217 server (it never completed the negotiation)",
                    {offers()}},
        // clang-format off
        FailureCase{"GatewayLengthZero", FailureCase::Server::Hostile,
                    "connection lost (the gateway broke Modbus TCP: a header with length 0, which no Modbus reply has)",
                    {{0, 1, 0, 0, 0, 0, 255}, 1}, "modbus-tcp"},
        FailureCase{"GatewayLength65535", FailureCase::Server::Hostile,
                    "connection lost (the gateway broke Modbus TCP: a header with length 65535", {{0, 1, 0, 0, 255, 255, 255}, 1}, "modbus-tcp"},
        // Whole replies to one transaction, without end.
        FailureCase{"GatewayFloods", FailureCase::Server::Hostile,
                    "connection lost (the gateway broke Modbus TCP: a reply to transaction 4660, which was never asked",
                    {block({0x12, 0x34, 0, 0, 0, 7, 255, 3, 4, 0, 0x7B, 0, 0})}, "modbus-tcp"},
        // The header of transaction 1, then half its reply, once the request is out.
        FailureCase{"GatewayClosesMidReply", FailureCase::Server::Hostile, "connection lost (the server closed the connection)",
                    {{0, 1, 0, 0, 0, 11, 255, 3, 8, 0}, 1, 0, false, 300}, "modbus-tcp"},
        FailureCase{"GatewayAnswersAnotherTransaction", FailureCase::Server::Hostile,
                    "connection lost (the gateway broke Modbus TCP: a reply to transaction 30583, which was never asked",
                    {{0x77, 0x77, 0, 0, 0, 7, 255, 3, 4, 0, 0x7B, 0, 0}, 0, 100}, "modbus-tcp"},
        FailureCase{"GatewayGarbage", FailureCase::Server::Hostile,
                    "connection lost (the gateway broke Modbus TCP: a header with a protocol identifier other than 0",
                    {garbage()}, "modbus-tcp"} // clang-format on
        ));

} // namespace
