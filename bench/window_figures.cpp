// The window's figures: its operations through the real port and receive
// thread against the software transmitter, the receive thread's idle cost,
// and the Qt window's start-up.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/figures.h"
#include "tests/support/process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sim_start.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kStartupProbe = VENTORA_STARTUP_PROBE_PATH; // "" when the Qt window is not built

// What the last message box said, on one line.
std::string lastBoxOnOneLine(const FakeDialog& dialog) {
    std::string text = dialog.shown.empty() ? std::string() : dialog.shown.back().text;
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

double timeDetection(const std::string& path, std::string& outcome) {
    Tool tool(Receiving::On, path);
    const auto t0 = Clock::now();
    tool.transmitter.detectBaud();
    const double t = msSince(t0);
    outcome = lastBoxOnOneLine(tool.dialog);
    return t;
}

double cpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (double(u.ru_utime.tv_sec) + double(u.ru_stime.tv_sec)) * 1000.0 +
           (double(u.ru_utime.tv_usec) + double(u.ru_stime.tv_usec)) / 1000.0;
}

// Percent of one core that the process spends over `window` while the main thread sleeps.
double processCpuPercent(std::chrono::milliseconds window) {
    std::this_thread::sleep_for(50ms); // let start-up settle
    const double c0 = cpuMs();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(window);
    return (cpuMs() - c0) / msSince(t0) * 100.0;
}

// A bare loop of 1 ms sleeps on its own thread. `exact` paces it by deadline,
// as the receive thread paces its passes (1000 wake-ups a second); otherwise
// each sleep is relative and the loop drifts to fewer wake-ups.
void bareLoop(std::stop_token stop, bool exact) {
    auto next = Clock::now();
    while (!stop.stop_requested()) {
        if (!exact) {
            std::this_thread::sleep_for(1ms);
            continue;
        }
        next += 1ms;
        std::this_thread::sleep_until(next);
    }
}

// The time in ms from the probe's start to its "shown"; -1 when it could not
// be started, -2 when it did not report within 10 s (it is then ended).
double timeStartup() {
    const auto t0 = Clock::now();
    Process probe({.program = kStartupProbe, .errTo = "/dev/null", .environment = {"QT_QPA_PLATFORM=offscreen"}});
    if (!probe.started()) return -1;
    double shown = -2;
    if (probe.awaitOutput("shown", 10s))
        shown = msSince(t0);
    else
        probe.kill();
    probe.finish();
    return shown;
}

} // namespace

// ---- 1. exchange latency ----------------------------------------------------

double latencyAt(std::uint32_t baud, int iterations) {
    auto s = simAtLineRate(sim::Dialect::Fd, baud);
    Tool tool(Receiving::On, s->slavePath());
    tool.port.setParams(1, 8, 0, 0, baud);
    if (!tool.port.open()) return -1;
    tool.transmitter.state.deviceAddress = 1;
    std::vector<double> ms;
    int failures = 0;
    for (int i = 0; i < iterations + 1; ++i) {
        tool.transmitter.state.queryBusy = false;
        tool.dialog.boxes[kVelocityBox].clear();
        const auto t0 = Clock::now();
        tool.transmitter.readMeasurement();
        const double t = msSince(t0);
        if (tool.dialog.boxes[kVelocityBox] != "12.3") ++failures;
        if (i > 0) ms.push_back(t); // the first read warms up the sim and the caches
    }
    const double wire = (8 + 13) * 10.0 * 1000.0 / baud + s->state().turnaroundMs;
    std::vector<double> overhead;
    for (double t : ms) overhead.push_back(t - wire);
    const double p95 = percentile(overhead, 95);
    row(fmt("Measurement read at %.0f bit/s: p50 / p95 / max", baud),
        fmt("%.1f / %.1f / %.1f ms", percentile(ms, 50), percentile(ms, 95), *std::max_element(ms.begin(), ms.end())),
        "-", std::nullopt);
    row(fmt("  wire time at %.0f (21 bytes x 10 bits + turnaround)", baud), fmt("%.1f ms", wire), "-", std::nullopt);
    row(fmt("  overhead at %.0f: p50 / p95", baud),
        fmt("%.1f / %.1f ms", percentile(overhead, 50), p95) + (failures ? fmt(" (%.0f failed reads)", failures) : ""),
        "p95 <= 40 ms", p95 <= 40.0 && failures == 0);
    return percentile(ms, 50);
}

// How long after a reply's last byte the receive thread hands it to takeReply:
// the 30-pass quiet gap, plus the part of a pass the last byte waited for.
void releaseDelay(int iterations) {
    sim::Config c;
    c.lineRate = false;
    const auto s = startSim(c);
    if (!s) return;
    Tool tool(Receiving::On, s->slavePath());
    tool.port.setParams(1, 8, 0, 0, 9600);
    if (!tool.port.open()) return;
    std::vector<double> ms;
    std::uint8_t buf[1024];
    for (int i = 0; i < iterations; ++i) {
        std::this_thread::sleep_for(7ms); // vary the phase against the passes
        s->sendRaw({0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x6E, 0x96});
        const auto t0 = Clock::now();
        while (tool.block->takeReply(buf, 1024) == 0 && msSince(t0) < 1000) std::this_thread::sleep_for(100us);
        ms.push_back(msSince(t0));
    }
    row("Reply released after its last byte: p50 / p95 / max",
        fmt("%.1f / %.1f / %.1f ms", percentile(ms, 50), percentile(ms, 95), *std::max_element(ms.begin(), ms.end())),
        "30 passes of 1 ms", std::nullopt);
}

// ---- 2. the length-framed peer ----------------------------------------------

void peer(double oursAt9600, int iterations) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    std::vector<double> ms;
    for (int i = 0; i < iterations; ++i) {
        const double t = runMbpoll(s->slavePath());
        if (t == -1) {
            row("mbpoll at 9600, same four registers (whole process)", "mbpoll not installed: skipped", "-",
                std::nullopt);
            return;
        }
        if (t < 0) {
            row("mbpoll at 9600, same four registers (whole process)", "mbpoll failed to read the sim", "-",
                std::nullopt);
            return;
        }
        ms.push_back(t);
    }
    const double theirs = percentile(ms, 50);
    row("mbpoll at 9600, same four registers (whole process), p50", fmt("%.1f ms", theirs), "-", std::nullopt);
    const double ratio = oursAt9600 / theirs;
    row("Ours / mbpoll at 9600 (p50)", fmt("%.2fx", ratio), "<= 1.4x", ratio <= 1.4);
}

// ---- 3. detection -------------------------------------------------------------

void detection(bool smoke) {
    std::string outcome;
    {
        PtyPair none;
        const double t = timeDetection(none.slavePath, outcome);
        row("Detection, no transmitter", fmt("%.0f ms", t) + "  \"" + outcome + "\"", "<= 2200 ms", t <= 2200);
    }
    const std::vector<std::uint32_t> bauds =
        smoke ? std::vector<std::uint32_t>{9600} : std::vector<std::uint32_t>{2400, 4800, 9600};
    for (const std::uint32_t baud : bauds) {
        auto s = simAtLineRate(sim::Dialect::Fd, baud);
        const double t = timeDetection(s->slavePath(), outcome);
        // At 9600 two silent attempts of 500 ms come first, then the 14 bytes on the wire and the gap.
        const bool judged = baud == 9600;
        row(fmt("Detection, FD transmitter at %.0f", baud), fmt("%.0f ms", t) + "  \"" + outcome + "\"",
            judged ? "about 1000 ms + the reply (~50 ms)" : "-",
            judged ? std::optional<bool>(t <= 1100) : std::nullopt);
    }
    auto s = simAtLineRate(sim::Dialect::Modbus, 9600);
    const double t = timeDetection(s->slavePath(), outcome);
    row("Detection, Modbus transmitter at 9600", fmt("%.0f ms", t) + "  \"" + outcome + "\"", "-", std::nullopt);
}

// ---- 4. idle cost ---------------------------------------------------------------

// The cases take turns in short rounds, so that whatever else the machine
// does at the time weighs on each of them alike.
void idle(std::chrono::milliseconds window) {
    constexpr int kRounds = 5;
    const auto slice = window / kRounds;
    double floor = 0, exactFloor = 0, closed = 0, open = 0;
    PtyPair quiet;
    for (int round = 0; round < kRounds; ++round) {
        {
            std::jthread bare([](std::stop_token stop) { bareLoop(stop, false); });
            floor += processCpuPercent(slice) / kRounds;
        }
        {
            std::jthread bare([](std::stop_token stop) { bareLoop(stop, true); });
            exactFloor += processCpuPercent(slice) / kRounds;
        }
        Tool tool(Receiving::On, quiet.slavePath);
        closed += processCpuPercent(slice) / kRounds;
        tool.port.setParams(1, 8, 0, 0, 9600);
        tool.port.open();
        open += processCpuPercent(slice) / kRounds;
    }
    row("Bare loop of 1 ms sleeps (the floor)", fmt("%.2f %% of a core", floor), "-", std::nullopt);
    row("  the same, paced to exact 1 ms deadlines", fmt("%.2f %% of a core", exactFloor), "-", std::nullopt);
    for (const auto& [name, cpu] :
         {std::pair{"Receive thread, port closed", closed}, std::pair{"Receive thread, port open and quiet", open}}) {
        row(name, fmt("%.2f %% (%.2fx the floor, %.2fx the paced floor)", cpu, cpu / floor, cpu / exactFloor),
            "<= 1.2x", cpu / floor <= 1.2);
    }
}

// ---- 5. allocations -----------------------------------------------------------

void allocations(int iterations) {
    auto s = simAtLineRate(sim::Dialect::Fd, 9600);
    Tool tool(Receiving::On, s->slavePath());
    tool.port.setParams(1, 8, 0, 0, 9600);
    tool.port.open();
    tool.transmitter.state.deviceAddress = 1;
    const std::uint16_t length = buildReadMeasurement(tool.transmitter.state.txFrame, 1);
    int answered = 0;
    startCountingAllocations();
    for (int i = 0; i < iterations; ++i) answered += tool.transmitter.exchange(length) > 3;
    const double perExchange = double(stopCountingAllocations()) / iterations;
    row("Heap allocations per exchange", fmt("%.2f (%.0f of %.0f answered)", perExchange, answered, iterations), "0",
        perExchange == 0 && answered == iterations);
}

// ---- 6. window start-up ---------------------------------------------------------

void startup(int runs) {
    if (*kStartupProbe == '\0') {
        row("Window start-up, offscreen", "not built with the window: skipped", "-", std::nullopt);
        return;
    }
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const double shown = timeStartup();
        if (shown == -1) return;
        if (shown >= 0) ms.push_back(shown);
    }
    if (ms.empty()) {
        row("Window start-up, offscreen", "the window did not report being shown", "< 300 ms", false);
        return;
    }
    const double p50 = percentile(ms, 50);
    row("Window start-up to dialog shown, offscreen (median)", fmt("%.0f ms", p50), "< 300 ms", p50 < 300);
}
