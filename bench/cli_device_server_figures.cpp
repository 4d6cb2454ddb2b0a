// The command-line tool through the device servers of installed buildings:
// ser2net's raw tcp accepter against the pty itself, and a Modbus TCP gateway
// against mbpoll (libmodbus) through the same gateway. Each pair is taken in
// turns, so that the machine's other work weighs on both alike.

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/cli_runs.h"
#include "cli/link.h"
#include "protocol/frames.h"
#include "serial/net/modbus_tcp_port.h"
#include "tests/support/modbus_gateway.h"
#include "tests/support/process.h"
#include "tests/support/ser2net.h"

using namespace std::chrono_literals;

namespace {

struct Pair {
    std::vector<double> ours, theirs;
    bool ok = true;
};

double mbpollThroughGateway(const ModbusGateway& gateway) {
    const auto t0 = Clock::now();
    Process mbpoll({.program = "mbpoll",
                    .args = {"-m", "tcp", "-a", "255", "-0", "-r", "0", "-c", "4", "-t", "4", "-1", "-p",
                             std::to_string(gateway.port()), "127.0.0.1"},
                    .outTo = "/dev/null",
                    .errTo = "/dev/null"});
    if (!mbpoll.started()) return -1;
    return mbpoll.finish().status == 0 ? msSince(t0) : -2;
}

// Heap allocations over count exchanges of request through port, opened as url.
void allocations(Port& port, const std::string& url, std::uint32_t baud, const std::uint8_t* request,
                 std::uint16_t length, const char* figure, int count) {
    Link link(port, url, 220ms, nullptr);
    if (!link.reopen(baud)) return;
    link.exchange(request, length);
    int answered = 0;
    startCountingAllocations();
    for (int i = 0; i < count; ++i) answered += link.exchange(request, length).status == ReplyStatus::Ok;
    const double perExchange = double(stopCountingAllocations()) / count;
    row(figure, fmt("%.2f (%.0f of %.0f answered)", perExchange, answered, count), "0",
        perExchange == 0 && answered == count);
}

void rawTcp(bool smoke) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    Ser2net server(s->slavePath(), true);
    if (!server.running()) {
        row("CLI: read over tcp:// via ser2net", "ser2net not installed or not starting: skipped", "-", std::nullopt);
        return;
    }
    const auto read = [](const std::string& port) {
        return runCli({"-p", port, "-b", "9600", "-d", "fd", "-a", "1", "read"});
    };
    Pair p;
    for (int i = 0; i < (smoke ? 2 : 30); ++i) {
        const ChildRun remote = read(server.url()), direct = read(s->slavePath());
        p.ok = p.ok && remote.status == 0 && direct.status == 0;
        p.ours.push_back(remote.ms);
        p.theirs.push_back(direct.ms);
    }
    const double remote50 = percentile(p.ours, 50), direct50 = percentile(p.theirs, 50);
    row("CLI: read over tcp:// via ser2net on loopback / on the pty, whole process, p50",
        fmt("%.1f / %.1f ms (+%.1f ms)", remote50, direct50, remote50 - direct50) + (p.ok ? "" : " (failed)"),
        "within 5 ms", remote50 - direct50 <= 5 && p.ok);

    const int last = smoke ? 10 : 255;
    const auto scan = [&](const std::string& port) {
        return runCli({"-p", port, "-t", "50", "-b", "9600", "-d", "fd", "scan", "--to", std::to_string(last)});
    };
    const ChildRun remote = scan(server.url()), direct = scan(s->slavePath());
    const double ratio = remote.ms / direct.ms;
    row(fmt("CLI: scan 1 to %.0f with -t 50, over tcp:// / on the pty", last),
        fmt("%.2f / %.2f s (%.3fx)", remote.ms / 1000, direct.ms / 1000, ratio) +
            (remote.status == 0 && direct.status == 0 ? "" : " (failed)"),
        "<= 1.05x", ratio <= 1.05 && remote.status == 0 && direct.status == 0);

    TcpPort port(2000ms);
    std::uint8_t request[kMaxFrameLength];
    const std::uint16_t length = buildReadMeasurement(request, 1);
    allocations(port, server.url(), 9600, request, length, "CLI: heap allocations per exchange over tcp://",
                smoke ? 5 : 200);
}

void modbusTcp(bool smoke) {
    auto s = simAtLineRate(sim::Dialect::Modbus, 9600);
    const ModbusGateway gateway(s->slavePath());
    Pair p;
    for (int i = 0; i < (smoke ? 2 : 30); ++i) {
        const ChildRun run = runCli({"-p", gateway.url(), "-b", "9600", "-d", "modbus", "read"});
        p.ok = p.ok && run.status == 0;
        p.ours.push_back(run.ms);
        const double t = mbpollThroughGateway(gateway);
        if (t >= 0) p.theirs.push_back(t);
    }
    if (!p.theirs.empty()) {
        const double ratio = percentile(p.ours, 50) / percentile(p.theirs, 50);
        row("CLI: read over modbus-tcp:// / mbpoll -m tcp, same gateway, whole processes (p50)",
            fmt("%.2fx (%.1f / %.1f ms)", ratio, percentile(p.ours, 50), percentile(p.theirs, 50)) +
                (p.ok ? "" : " (failed)"),
            "<= 0.8x", ratio <= 0.8 && p.ok);
    } else {
        row("CLI: read over modbus-tcp:// / mbpoll -m tcp", "mbpoll not installed: skipped", "-", std::nullopt);
    }
    ModbusTcpPort port(2000ms);
    std::uint8_t request[kMaxFrameLength];
    const std::uint16_t length = buildReadMeasurement(request, 255);
    allocations(port, gateway.url(), 9600, request, length, "CLI: heap allocations per exchange over modbus-tcp://",
                smoke ? 5 : 200);
}

} // namespace

void cliDeviceServers(bool smoke) {
    rawTcp(smoke);
    modbusTcp(smoke);
}
