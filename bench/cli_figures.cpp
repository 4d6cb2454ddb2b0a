// The command-line tool's figures: its length-framed exchange in the process,
// and the tool as a user runs it, against the software transmitter, a line of
// three, ser2net, and an MQTT broker. Built only where ventora-cli is
// (VENTORA_CLI_PATH).

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/cli_runs.h"
#include "bench/figures.h"
#include "cli/link.h"
#include "serial/net/rfc2217_port.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/ser2net.h"
#include "tests/support/sim_start.h"

using namespace std::chrono_literals;

ChildRun runCli(const std::vector<std::string>& args, std::optional<std::chrono::milliseconds> stopAfter,
                const char* stdoutTo) {
    ChildRun run;
    const auto t0 = Clock::now();
    Process tool({.program = VENTORA_CLI_PATH, .args = args, .outTo = stdoutTo, .errTo = "/dev/null"});
    if (!tool.started()) return run;
    if (stopAfter) {
        std::this_thread::sleep_for(*stopAfter);
        tool.interrupt();
    }
    const ProcessRun end = tool.finish();
    run.ms = msSince(t0);
    run.status = end.status;
    run.cpuMs = end.cpuMs;
    return run;
}

namespace {

// The length-framed exchange hands a reply over as soon as its last byte
// has come: the reply is written to the line in one piece at a known moment.
void cliRelease(int iterations) {
    PtyPair line;
    SerialPort port;
    Link cliLine(port, line.slavePath, 500ms, nullptr);
    if (!cliLine.reopen(9600)) return;
    static const std::uint8_t kReply[] = {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x6E, 0x96};
    std::uint8_t request[kMaxFrameLength];
    const std::uint16_t length = buildReadMeasurement(request, 1);
    std::vector<double> ms;
    for (int i = 0; i < iterations; ++i) {
        Clock::time_point sent;
        std::jthread device([&] {
            // Answer only once the request is out, or the exchange would
            // drain the reply as a stale one.
            pollfd request{line.master, POLLIN, 0};
            ::poll(&request, 1, 1000);
            std::this_thread::sleep_for(std::chrono::microseconds(1000 + 137 * (i % 20)));
            sent = Clock::now();
            const ssize_t n = ::write(line.master, kReply, sizeof kReply);
            (void)n;
        });
        const Reply reply = cliLine.exchange(request, length);
        const auto released = Clock::now();
        device.join();
        std::uint8_t drain[256];
        while (::read(line.master, drain, sizeof drain) > 0) {}
        if (reply.status == ReplyStatus::Ok)
            ms.push_back(std::chrono::duration<double, std::milli>(released - sent).count());
    }
    if (ms.empty()) return;
    const double p95 = percentile(ms, 95);
    row("CLI: reply released after its last byte, p50 / p95 / max",
        fmt("%.2f / %.2f / %.2f ms", percentile(ms, 50), p95, *std::max_element(ms.begin(), ms.end())), "p95 <= 2 ms",
        p95 <= 2.0 && ms.size() == std::size_t(iterations));
}

void cliAllocations(int iterations) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    SerialPort port;
    Link cliLine(port, s->slavePath(), 220ms, nullptr);
    if (!cliLine.reopen(9600)) return;
    std::uint8_t request[kMaxFrameLength];
    const std::uint16_t length = buildReadMeasurement(request, 1);
    int answered = 0;
    cliLine.exchange(request, length); // the first exchange may set up the C library's buffers
    startCountingAllocations();
    for (int i = 0; i < iterations; ++i) answered += cliLine.exchange(request, length).status == ReplyStatus::Ok;
    const double perExchange = double(stopCountingAllocations()) / iterations;
    row("CLI: heap allocations per exchange", fmt("%.2f (%.0f of %.0f answered)", perExchange, answered, iterations),
        "0", perExchange == 0 && answered == iterations);
}

// One read as a whole process, against mbpoll's.
void cliRead(bool smoke) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    const std::vector<std::string> read = {"-p", s->slavePath(), "-b", "9600", "-d", "fd", "-a", "1", "read"};
    std::vector<double> ours, theirs;
    bool allRead = true;
    // Taken in turns, so that the machine's other work weighs on both alike.
    for (int i = 0; i < (smoke ? 2 : 30); ++i) {
        const ChildRun run = runCli(read);
        allRead = allRead && run.status == 0;
        ours.push_back(run.ms);
        const double t = runMbpoll(s->slavePath());
        if (t >= 0) theirs.push_back(t);
    }
    const double p50 = percentile(ours, 50);
    row("CLI: read with -b -d -a at 9600, whole process, p50", fmt("%.1f ms", p50) + (allRead ? "" : " (failed)"), "-",
        std::nullopt);
    if (!theirs.empty()) {
        const double ratio = p50 / percentile(theirs, 50);
        row("CLI: read / mbpoll, whole processes (p50)", fmt("%.2fx (mbpoll %.1f ms)", ratio, percentile(theirs, 50)),
            "<= 0.7x", ratio <= 0.7 && allRead);
    }
}

void cliDetect(bool smoke) {
    {
        PtyPair none;
        std::vector<double> ms;
        for (int i = 0; i < (smoke ? 1 : 5); ++i) ms.push_back(runCli({"-p", none.slavePath, "detect"}).ms);
        const double p50 = percentile(ms, 50);
        row("CLI: detect with nothing attached, whole process (median)", fmt("%.0f ms", p50), "<= 1000 ms",
            p50 <= 1000);
    }
    sim::Config slow;
    slow.baud = 9600;
    slow.lineRate = true;
    slow.turnaroundMs = 200;
    if (const auto s = startSim(slow)) {
        const ChildRun run = runCli({"-p", s->slavePath(), "detect"});
        row("CLI: detect a transmitter that answers after 200 ms", fmt("%.0f ms, exit status %.0f", run.ms, run.status),
            "found (status 0)", run.status == 0);
    }
}

// A read and a detection through an adapter that hands every request back,
// against the same through a plain one, taken in turns.
void cliEcho(bool smoke) {
    sim::Config config;
    config.baud = 9600;
    config.lineRate = true;
    const auto plain = startSim(config);
    config.echo = true;
    const auto echoing = startSim(config);
    if (!plain || !echoing) return;
    const std::vector<std::vector<std::string>> commands = {{"-b", "9600", "-d", "fd", "-a", "1", "read"}, {"detect"}};
    const char* names[] = {"read with -b -d -a at 9600", "detect"};
    for (std::size_t c = 0; c < commands.size(); ++c) {
        std::vector<double> viaPlain, viaEcho;
        bool ok = true;
        for (int i = 0; i < (smoke ? 1 : (c == 0 ? 30 : 5)); ++i) {
            for (const auto& [sim, times] : {std::pair{plain.get(), &viaPlain}, std::pair{echoing.get(), &viaEcho}}) {
                std::vector<std::string> args = {"-p", sim->slavePath()};
                args.insert(args.end(), commands[c].begin(), commands[c].end());
                const ChildRun run = runCli(args);
                ok = ok && run.status == 0;
                times->push_back(run.ms);
            }
        }
        const double ratio = percentile(viaEcho, 50) / percentile(viaPlain, 50);
        row(std::string("CLI: ") + names[c] + " through an echoing adapter / a plain one (p50)",
            fmt("%.2fx (%.1f ms / %.1f ms)", ratio, percentile(viaEcho, 50), percentile(viaPlain, 50)) +
                (ok ? "" : " (failed)"),
            "<= 1.1x", ratio <= 1.1 && ok);
    }
}

void cliCommission(bool smoke) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    const std::string log = "/tmp/ventora-bench-commission-" + std::to_string(::getpid()) + ".csv";
    std::vector<double> ms;
    bool ok = true;
    for (int i = 0; i < (smoke ? 1 : 5); ++i) {
        std::remove(log.c_str());
        sim::Config fresh = s->state();
        fresh.address = 1;
        s->setState(fresh);
        // -b and -d make the first request one the transmitter answers.
        const ChildRun run = runCli({"-p", s->slavePath(), "-b", "9600", "-d", "fd", "commission", "--address", "5",
                                     "--area", "450", "--log", log});
        ok = ok && run.status == 0 && s->state().address == 5 && s->state().area == 450;
        ms.push_back(run.ms);
    }
    std::remove(log.c_str());
    const double p50 = percentile(ms, 50);
    row("CLI: commission one FD transmitter at 9600, whole process to its log row (median)",
        fmt("%.0f ms", p50) + (ok ? "" : " (failed)"), "<= 1500 ms", p50 <= 1500 && ok);
}

void cliWatch(bool smoke) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    const auto window = smoke ? 1500ms : 10000ms;
    const ChildRun run =
        runCli({"-p", s->slavePath(), "-b", "9600", "-d", "fd", "-a", "1", "watch", "--interval", "1000"}, window);
    const double percent = run.cpuMs / run.ms * 100.0;
    row(fmt("CLI: watch at a 1 s interval, whole process over %.0f s", run.ms / 1000.0),
        fmt("%.3f %% of a core (%.1f ms of CPU)", percent, run.cpuMs), "<= 0.1 %", percent <= 0.1 && run.status == 0);
}

// Transmitters at 3, 77 and 200 on line.
bool startLineOfThree(sim::SimLine& line) {
    for (const std::uint8_t address : {3, 77, 200}) {
        sim::Config c;
        c.address = address;
        line.add(c);
    }
    return line.start();
}

// The CPU a watch of the line costs drawing its live table on a terminal,
// against printing plain lines.
void cliLiveTable(const std::string& path, bool smoke) {
    const auto window = smoke ? 1500ms : 10000ms;
    const std::vector<std::string> args = {"-p", path,       "-b",    "9600",       "-d",  "fd",
                                           "-a", "3,77,200", "watch", "--interval", "1000"};
    const ChildRun plain = runCli(args, window);
    PtyPair terminal; // stands for the person's terminal; what is drawn is read and dropped
    std::atomic<bool> drawing{true};
    std::jthread reader([&] {
        char sink[4096];
        while (drawing) {
            pollfd p{terminal.master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && ::read(terminal.master, sink, sizeof sink) <= 0)
                std::this_thread::sleep_for(5ms);
        }
    });
    const ChildRun table = runCli(args, window, terminal.slavePath.c_str());
    drawing = false;
    row("CLI: watch three at a 1 s interval, CPU of the live table / plain lines",
        fmt("%.1f / %.1f ms of CPU (%.2fx)", table.cpuMs, plain.cpuMs, table.cpuMs / std::max(plain.cpuMs, 0.001)),
        "about 1x (within noise)", std::nullopt);
}

// A line of three transmitters: the scan, the rounds of a watch, and what the
// live table costs over plain lines.
void cliLine(bool smoke) {
    sim::SimLine line(9600, true);
    if (!startLineOfThree(line)) return;
    const std::string path = line.slavePath();
    {
        const int last = smoke ? 10 : 255;
        const ChildRun run =
            runCli({"-p", path, "-t", "50", "-b", "9600", "-d", "fd", "scan", "--to", std::to_string(last)});
        const double floor = last * 50.0;
        row(fmt("CLI: scan 1 to %.0f at 9600 with -t 50, three transmitters", last),
            fmt("%.2f s (%.2fx the floor of %.0f waits of 50 ms)", run.ms / 1000.0, run.ms / floor, last) +
                (run.status == 0 ? "" : " (failed)"),
            smoke ? "-" : "<= 15 s", smoke ? std::nullopt : std::optional<bool>(run.ms <= 15000 && run.status == 0));
    }
    {
        const int rounds = smoke ? 3 : 50;
        const ChildRun run = runCli({"-p", path, "-b", "9600", "-d", "fd", "-a", "3,77,200", "watch", "--interval", "0",
                                     "--count", std::to_string(rounds)});
        // Three reads a round: 8 bytes out and 13 back each, 10 bits a byte; the sim answers at once.
        const double wire = 3 * (8 + 13) * 10.0 * 1000.0 / 9600;
        const double perRound = run.ms / rounds;
        row("CLI: watch three transmitters, --interval 0, time per round (whole process / rounds)",
            fmt("%.1f ms (%.2fx the %.1f ms of wire time)", perRound, perRound / wire, wire) +
                (run.status == 0 ? "" : " (failed)"),
            "<= 1.3x", perRound / wire <= 1.3 && run.status == 0);
    }
    cliLiveTable(path, smoke);
}

// The same read on the pty and through ser2net on loopback, taken in turns,
// and what one read costs on the wire.
void cliRemote(bool smoke) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    Ser2net server(s->slavePath());
    if (!server.running()) {
        row("CLI: read over RFC 2217 via ser2net", "ser2net not installed or not starting: skipped", "-", std::nullopt);
        return;
    }
    const std::vector<std::string> args = {"-b", "9600", "-d", "fd", "-a", "1", "read"};
    const auto on = [&](const std::string& port) {
        std::vector<std::string> all = {"-p", port};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    };
    std::vector<double> remote, direct;
    bool allRead = true;
    for (int i = 0; i < (smoke ? 2 : 30); ++i) {
        const ChildRun r = runCli(on(server.url()));
        const ChildRun d = runCli(on(s->slavePath()));
        allRead = allRead && r.status == 0 && d.status == 0;
        remote.push_back(r.ms);
        direct.push_back(d.ms);
    }
    const double remote50 = percentile(remote, 50), direct50 = percentile(direct, 50);
    row("CLI: read over RFC 2217 via ser2net on loopback / on the pty, whole process, p50",
        fmt("%.1f / %.1f ms (+%.1f ms)", remote50, direct50, remote50 - direct50) + (allRead ? "" : " (failed)"),
        "remote within 10 ms of direct", remote50 - direct50 <= 10 && allRead);

    // One read measurement: 8 bytes out and 13 back on the serial line.
    Rfc2217Port port(2000ms);
    Link line(port, server.url(), 220ms, nullptr);
    const bool opened = line.reopen(9600);
    const std::uint64_t openBytes = port.bytesSent() + port.bytesReceived();
    std::uint8_t request[kMaxFrameLength];
    const std::uint16_t length = buildReadMeasurement(request, 1);
    const bool answered = opened && line.exchange(request, length).status == ReplyStatus::Ok;
    const std::uint64_t exchangeBytes = port.bytesSent() + port.bytesReceived() - openBytes;
    row("CLI: TCP payload of one read over RFC 2217, both ways (serial bytes: 21)",
        fmt("%.0f bytes per exchange, %.0f more to open at 9600 (%.2fx of 21 for a whole -b -d -a read)",
            double(exchangeBytes), double(openBytes), double(exchangeBytes + openBytes) / 21.0) +
            (answered ? "" : " (failed)"),
        "-", std::nullopt);
}

// A line of three at the line rate, watched with --interval 0 with and without
// --mqtt, in turns: the CPU of a round, start-up included. The ratio of each
// pair swings with the machine's load, so the median of several is the figure.
void cliMqttCpu(const MqttBroker& broker, bool smoke) {
    sim::SimLine line(9600, true);
    if (!startLineOfThree(line)) return;
    const int rounds = smoke ? 10 : 100;
    const std::vector<std::string> watch = {
        "-p",      line.slavePath(),      "-b", "9600", "-d", "fd", "-a", "3,77,200", "watch", "--interval", "0",
        "--count", std::to_string(rounds)};
    std::vector<std::string> published = watch;
    published.insert(published.end(), {"--mqtt", broker.url()});
    std::vector<double> plainMs, mqttMs, ratios;
    bool ok = true;
    for (int i = 0; i < (smoke ? 1 : 5); ++i) {
        const ChildRun plain = runCli(watch), mqtt = runCli(published);
        ok = ok && plain.status == 0 && mqtt.status == 0;
        plainMs.push_back(plain.cpuMs / rounds);
        mqttMs.push_back(mqtt.cpuMs / rounds);
        ratios.push_back(mqtt.cpuMs / std::max(plain.cpuMs, 0.001));
    }
    const double ratio = percentile(ratios, 50);
    row("CLI: watch three transmitters, CPU per round with --mqtt / without (median of " +
            std::to_string(ratios.size()) + " pairs)",
        fmt("%.3f / %.3f ms (%.2fx", percentile(mqttMs, 50), percentile(plainMs, 50), ratio) +
            fmt(", pairs %.2fx to %.2fx)", percentile(ratios, 0), percentile(ratios, 100)) + (ok ? "" : " (failed)"),
        "<= 1.2x", ratio <= 1.2 && ok);
}

// ventora-cli watches a transmitter that this thread plays on a bare pty, so
// that the moment each reply's last byte is written is known; mosquitto_sub
// notes when each state arrives.
void cliMqttLatency(const MqttBroker& broker, bool smoke) {
    static const std::uint8_t kReply[] = {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x6E, 0x96};
    const int readings = smoke ? 20 : 300;
    PtyPair line;
    const auto subscriber = subscribe(broker, "ventora/bench/#");
    if (!subscriber) return;
    std::vector<double> lastBytes; // seconds since 1970, as mosquitto_sub writes its times
    std::jthread transmitter([&](std::stop_token stop) {
        std::uint8_t request[64];
        while (!stop.stop_requested() && int(lastBytes.size()) < readings) {
            pollfd p{line.master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0 || ::read(line.master, request, sizeof request) <= 0) continue;
            if (::write(line.master, kReply, sizeof kReply) == ssize_t(sizeof kReply))
                lastBytes.push_back(
                    std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
        }
    });
    // Read as it comes, or a full pipe would hold mosquitto_sub back.
    std::jthread listener([&] { subscriber->awaitOutput("ventora/bench/status offline", 120s); });
    const ChildRun run = runCli({"-p", line.slavePath, "-b", "9600", "-d", "fd", "-a", "1", "watch", "--interval", "20",
                                 "--count", std::to_string(readings), "--mqtt", broker.url(), "--mqtt-line", "bench"});
    transmitter.request_stop();
    transmitter.join();
    listener.join();
    subscriber->kill();
    const std::vector<ReceivedMessage> states = receivedMessages(subscriber->finish().out, "ventora/bench/1/state");
    std::vector<double> ms;
    for (std::size_t i = 0; i < std::min(states.size(), lastBytes.size()); ++i)
        ms.push_back((states[i].unixTime - lastBytes[i]) * 1000.0);
    const bool ok = run.status == 0 && ms.size() == std::size_t(readings);
    const double p95 = percentile(ms, 95);
    row("CLI: --mqtt, a reading's last byte to its state at mosquitto_sub on loopback, p50 / p95 / max",
        fmt("%.2f / %.2f / %.2f ms", percentile(ms, 50), p95,
            ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end())) +
            (ok ? "" : " (failed)"),
        "p95 <= 5 ms", p95 <= 5.0 && ok);
}

void cliMqtt(bool smoke) {
    if (mosquittoPath() == nullptr) {
        row("CLI: watch --mqtt", "mosquitto not installed: skipped", "-", std::nullopt);
        return;
    }
    const MqttBroker broker;
    if (!broker.running()) {
        row("CLI: watch --mqtt", "mosquitto did not start: skipped", "-", std::nullopt);
        return;
    }
    cliMqttCpu(broker, smoke);
    cliMqttLatency(broker, smoke);
}

} // namespace

void cliFigures(bool smoke) {
    cliRelease(smoke ? 5 : 200);
    cliAllocations(smoke ? 5 : 200);
    cliRead(smoke);
    cliDetect(smoke);
    cliEcho(smoke);
    cliCommission(smoke);
    cliWatch(smoke);
    cliLine(smoke);
    cliRemote(smoke);
    cliDeviceServers(smoke);
    cliMqtt(smoke);
    cliLongWatch(smoke);
}

void cliMqttFigures(bool smoke) { cliMqtt(smoke); }
