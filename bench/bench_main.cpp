// ventora-bench: the tool's response times and running costs, each printed next
// to the limit it is measured against. Everything runs against the software
// transmitter on a pty, emitting at the line rate (10 bits per byte).
//
//   ventora-bench            the full run (about two minutes)
//   ventora-bench --smoke    a few iterations of everything, to keep it building and running
//   ventora-bench idle ...   only the named sections: latency, peer, detection, idle,
//                            allocations, startup, cli

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "window/transmitter.h"
#include "serial/local/receive_thread.h"
#include "sim/sim_transmitter.h"
#ifdef VENTORA_CLI_PATH
#include "cli/line.h"
#include "serial/net/network_port.h"

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

// ---- heap allocations, counted on the thread that asks for it -------------

namespace {
thread_local bool tCounting = false;
std::atomic<std::uint64_t> gAllocations{0};

void* countedAlloc(std::size_t n) {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t n) { return countedAlloc(n); }
void* operator new[](std::size_t n) { return countedAlloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, std::size_t(p / 100.0 * double(v.size() - 1) + 0.5));
    return v[i];
}

// The window as the operations see it, without a window.
class NullDialog : public DialogAccess {
public:
    int selectedPortIndex() override { return 0; }
    std::string boxText(int id) override { return id == kVelocityBox ? velocity : std::string(); }
    void setBoxText(int id, const std::string& text) override {
        if (id == kVelocityBox) velocity = text;
    }
    void enablePortPair(bool) override {}
    void enableOperationButtons(bool) override {}
    void messageBox(const std::string& text, const std::optional<std::string>&, unsigned) override {
        lastBox = text;
    }
    std::string velocity;
    std::string lastBox;
};

// The tool's side, attached as COM1 to a device path.
struct Tool {
    explicit Tool(const std::string& path)
        : port([path](std::uint8_t n) { return n == 1 ? path : std::string(); }),
          block(std::make_unique<ReceiveBlock>()),
          transmitter(port, *block, dialog) {
        block->init();
        thread.emplace(*block, port);
    }
    ~Tool() { thread.reset(); }
    SerialPort port;
    std::unique_ptr<ReceiveBlock> block;
    NullDialog dialog;
    Transmitter transmitter;
    std::optional<ReceiveThread> thread;
};

std::unique_ptr<sim::SimTransmitter> startSim(sim::Dialect dialect, std::uint32_t baud) {
    sim::Config c;
    c.dialect = dialect;
    c.baud = baud;
    c.lineRate = true;
    auto s = std::make_unique<sim::SimTransmitter>(c);
    if (!s->start()) {
        std::fprintf(stderr, "ventora-bench: cannot create a pseudo-terminal\n");
        std::exit(1);
    }
    return s;
}

// A pty that nobody answers on.
struct SilentPty {
    SilentPty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) path = ::ptsname(master);
    }
    ~SilentPty() {
        if (master >= 0) ::close(master);
    }
    int master = -1;
    std::string path;
};

struct Row {
    std::string figure, measured, goal, verdict;
};
std::vector<Row> rows;

std::string fmt(const char* f, double a, double b = 0, double c = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, f, a, b, c);
    return buf;
}

void row(std::string figure, std::string measured, std::string goal, std::optional<bool> met) {
    rows.push_back({std::move(figure), std::move(measured), std::move(goal),
                    met ? (*met ? "met" : "MISSED") : "-"});
    std::fprintf(stderr, "  %s: %s\n", rows.back().figure.c_str(), rows.back().measured.c_str());
}

// ---- 1. exchange latency ----------------------------------------------------

double latencyAt(std::uint32_t baud, int iterations) {
    auto s = startSim(sim::Dialect::Fd, baud);
    Tool tool(s->slavePath());
    tool.port.setParams(1, 8, 0, 0, baud);
    if (!tool.port.open()) return -1;
    tool.transmitter.state.deviceAddress = 1;
    std::vector<double> ms;
    int failures = 0;
    for (int i = 0; i < iterations + 1; ++i) {
        tool.transmitter.state.queryBusy = false;
        tool.dialog.velocity.clear();
        const auto t0 = Clock::now();
        tool.transmitter.readMeasurement();
        const double t = msSince(t0);
        if (tool.dialog.velocity != "12.3") ++failures;
        if (i > 0) ms.push_back(t);   // the first read warms up the sim and the caches
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
    sim::SimTransmitter s(c);
    if (!s.start()) return;
    Tool tool(s.slavePath());
    tool.port.setParams(1, 8, 0, 0, 9600);
    if (!tool.port.open()) return;
    std::vector<double> ms;
    std::uint8_t buf[1024];
    for (int i = 0; i < iterations; ++i) {
        std::this_thread::sleep_for(7ms);   // vary the phase against the passes
        s.sendRaw({0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x6E, 0x96});
        const auto t0 = Clock::now();
        while (tool.block->takeReply(buf, 1024) == 0 && msSince(t0) < 1000) std::this_thread::sleep_for(100us);
        ms.push_back(msSince(t0));
    }
    row("Reply released after its last byte: p50 / p95 / max",
        fmt("%.1f / %.1f / %.1f ms", percentile(ms, 50), percentile(ms, 95), *std::max_element(ms.begin(), ms.end())),
        "30 passes of 1 ms", std::nullopt);
}

// ---- 2. the length-framed peer ----------------------------------------------

double runMbpoll(const std::string& device) {
    const char* argv[] = {"mbpoll", "-m", "rtu", "-a", "1", "-0", "-r", "0", "-c", "4", "-t", "4",
                          "-b", "9600", "-d", "8", "-s", "1", "-P", "none", "-1", "-o", "1", device.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int rc = posix_spawnp(&pid, "mbpoll", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double t = msSince(t0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? t : -2;
}

void peer(double oursAt9600, int iterations) {
    auto s = startSim(sim::Dialect::Fd, 9600);
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

double timeDetection(const std::string& path, std::string& outcome) {
    Tool tool(path);
    const auto t0 = Clock::now();
    tool.transmitter.detectBaud();
    const double t = msSince(t0);
    outcome = tool.dialog.lastBox;
    for (char& c : outcome)
        if (c == '\r' || c == '\n') c = ' ';
    return t;
}

void detection(bool smoke) {
    std::string outcome;
    {
        SilentPty none;
        const double t = timeDetection(none.path, outcome);
        row("Detection, no transmitter", fmt("%.0f ms", t) + "  \"" + outcome + "\"", "<= 2200 ms", t <= 2200);
    }
    const std::vector<std::uint32_t> bauds = smoke ? std::vector<std::uint32_t>{9600}
                                                   : std::vector<std::uint32_t>{2400, 4800, 9600};
    for (const std::uint32_t baud : bauds) {
        auto s = startSim(sim::Dialect::Fd, baud);
        const double t = timeDetection(s->slavePath(), outcome);
        // At 9600 two silent attempts of 500 ms come first, then the 14 bytes on the wire and the gap.
        const bool judged = baud == 9600;
        row(fmt("Detection, FD transmitter at %.0f", baud), fmt("%.0f ms", t) + "  \"" + outcome + "\"",
            judged ? "about 1000 ms + the reply (~50 ms)" : "-", judged ? std::optional<bool>(t <= 1100) : std::nullopt);
    }
    auto s = startSim(sim::Dialect::Modbus, 9600);
    const double t = timeDetection(s->slavePath(), outcome);
    row("Detection, Modbus transmitter at 9600", fmt("%.0f ms", t) + "  \"" + outcome + "\"", "-", std::nullopt);
}

// ---- 4. idle cost ---------------------------------------------------------------

double cpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (double(u.ru_utime.tv_sec) + double(u.ru_stime.tv_sec)) * 1000.0 +
           (double(u.ru_utime.tv_usec) + double(u.ru_stime.tv_usec)) / 1000.0;
}

// Percent of one core that the process spends over `window` while the main thread sleeps.
double processCpuPercent(std::chrono::milliseconds window) {
    std::this_thread::sleep_for(50ms);   // let start-up settle
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

// The cases take turns in short rounds, so that whatever else the machine
// does at the time weighs on each of them alike.
void idle(std::chrono::milliseconds window) {
    constexpr int kRounds = 5;
    const auto slice = window / kRounds;
    double floor = 0, exactFloor = 0, closed = 0, open = 0;
    SilentPty quiet;
    for (int round = 0; round < kRounds; ++round) {
        {
            std::jthread bare([](std::stop_token stop) { bareLoop(stop, false); });
            floor += processCpuPercent(slice) / kRounds;
        }
        {
            std::jthread bare([](std::stop_token stop) { bareLoop(stop, true); });
            exactFloor += processCpuPercent(slice) / kRounds;
        }
        Tool tool(quiet.path);
        closed += processCpuPercent(slice) / kRounds;
        tool.port.setParams(1, 8, 0, 0, 9600);
        tool.port.open();
        open += processCpuPercent(slice) / kRounds;
    }
    row("Bare loop of 1 ms sleeps (the floor)", fmt("%.2f %% of a core", floor), "-", std::nullopt);
    row("  the same, paced to exact 1 ms deadlines", fmt("%.2f %% of a core", exactFloor), "-", std::nullopt);
    for (const auto& [name, cpu] : {std::pair{"Receive thread, port closed", closed},
                                    std::pair{"Receive thread, port open and quiet", open}}) {
        row(name, fmt("%.2f %% (%.2fx the floor, %.2fx the paced floor)", cpu, cpu / floor, cpu / exactFloor),
            "<= 1.2x", cpu / floor <= 1.2);
    }
}

// ---- 5. allocations -----------------------------------------------------------

void allocations(int iterations) {
    auto s = startSim(sim::Dialect::Fd, 9600);
    Tool tool(s->slavePath());
    tool.port.setParams(1, 8, 0, 0, 9600);
    tool.port.open();
    tool.transmitter.state.deviceAddress = 1;
    const std::uint16_t length = buildReadMeasurement(tool.transmitter.state.txFrame, 1);
    int answered = 0;
    gAllocations = 0;
    tCounting = true;
    for (int i = 0; i < iterations; ++i) answered += tool.transmitter.exchange(length) > 3;
    tCounting = false;
    const double perExchange = double(gAllocations.load()) / iterations;
    row("Heap allocations per exchange", fmt("%.2f (%.0f of %.0f answered)", perExchange, answered, iterations), "0",
        perExchange == 0 && answered == iterations);
}

// ---- 6. window start-up ---------------------------------------------------------

void startup(int runs) {
#ifdef VENTORA_STARTUP_PROBE_PATH
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen"};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) env.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(VENTORA_STARTUP_PROBE_PATH), nullptr};
        pid_t pid = 0;
        const auto t0 = Clock::now();
        const int rc = posix_spawn(&pid, VENTORA_STARTUP_PROBE_PATH, &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        if (rc != 0) {
            ::close(pipeFds[0]);
            return;
        }
        std::string out;
        char buf[256];
        double shown = -1;
        // A window that never reports is given 10 s, then ended.
        for (pollfd p{pipeFds[0], POLLIN, 0}; ::poll(&p, 1, 10000) > 0;) {
            const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, std::size_t(n));
            if (shown < 0 && out.find("shown") != std::string::npos) shown = msSince(t0);
        }
        ::close(pipeFds[0]);
        if (shown < 0) ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (shown >= 0) ms.push_back(shown);
    }
    if (ms.empty()) {
        row("Window start-up, offscreen", "the window did not report being shown", "< 300 ms", false);
        return;
    }
    const double p50 = percentile(ms, 50);
    row("Window start-up to dialog shown, offscreen (median)", fmt("%.0f ms", p50), "< 300 ms", p50 < 300);
#else
    (void)runs;
    row("Window start-up, offscreen", "not built with the window: skipped", "-", std::nullopt);
#endif
}

// ---- 7. the command-line tool ---------------------------------------------------

#ifdef VENTORA_CLI_PATH
struct ChildRun {
    double ms = -1;
    int status = -1;
    double cpuMs = 0;
};

// Runs ventora-cli with args, output to stdoutTo (stderr to /dev/null);
// stopAfter sends SIGINT then.
ChildRun runCli(const std::vector<std::string>& args, std::optional<std::chrono::milliseconds> stopAfter = {},
                const char* stdoutTo = "/dev/null") {
    std::vector<char*> argv{const_cast<char*>(VENTORA_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutTo, O_WRONLY | O_NOCTTY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int rc = posix_spawn(&pid, VENTORA_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;
    if (stopAfter) {
        std::this_thread::sleep_for(*stopAfter);
        ::kill(pid, SIGINT);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.ms = msSince(t0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.cpuMs = (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1000.0 +
                (double(usage.ru_utime.tv_usec) + double(usage.ru_stime.tv_usec)) / 1000.0;
    return run;
}

// The length-framed exchange hands a reply over as soon as its last byte
// has come: the reply is written to the line in one piece at a known moment.
void cliRelease(int iterations) {
    SilentPty line;
    SerialPort port;
    Line cliLine(port, line.path, 500ms, nullptr);
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
        while (::read(line.master, drain, sizeof drain) > 0) {
        }
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
    auto s = startSim(sim::Dialect::Fd, 9600);
    SerialPort port;
    Line cliLine(port, s->slavePath(), 220ms, nullptr);
    if (!cliLine.reopen(9600)) return;
    std::uint8_t request[kMaxFrameLength];
    const std::uint16_t length = buildReadMeasurement(request, 1);
    int answered = 0;
    cliLine.exchange(request, length);   // the first exchange may set up the C library's buffers
    gAllocations = 0;
    tCounting = true;
    for (int i = 0; i < iterations; ++i) answered += cliLine.exchange(request, length).status == ReplyStatus::Ok;
    tCounting = false;
    const double perExchange = double(gAllocations.load()) / iterations;
    row("CLI: heap allocations per exchange", fmt("%.2f (%.0f of %.0f answered)", perExchange, answered, iterations),
        "0", perExchange == 0 && answered == iterations);
}

void cliProcesses(bool smoke) {
    const int runs = smoke ? 2 : 30;
    {
        auto s = startSim(sim::Dialect::Fd, 9600);
        const std::vector<std::string> read = {"-p", s->slavePath(), "-b", "9600", "-d", "fd", "-a", "1", "read"};
        std::vector<double> ours, theirs;
        bool allRead = true;
        // Taken in turns, so that the machine's other work weighs on both alike.
        for (int i = 0; i < runs; ++i) {
            const ChildRun run = runCli(read);
            allRead = allRead && run.status == 0;
            ours.push_back(run.ms);
            const double t = runMbpoll(s->slavePath());
            if (t >= 0) theirs.push_back(t);
        }
        const double p50 = percentile(ours, 50);
        row("CLI: read with -b -d -a at 9600, whole process, p50", fmt("%.1f ms", p50) + (allRead ? "" : " (failed)"),
            "-", std::nullopt);
        if (!theirs.empty()) {
            const double ratio = p50 / percentile(theirs, 50);
            row("CLI: read / mbpoll, whole processes (p50)", fmt("%.2fx (mbpoll %.1f ms)", ratio, percentile(theirs, 50)),
                "<= 0.7x", ratio <= 0.7 && allRead);
        }
    }
    {
        SilentPty none;
        std::vector<double> ms;
        for (int i = 0; i < (smoke ? 1 : 5); ++i) ms.push_back(runCli({"-p", none.path, "detect"}).ms);
        const double p50 = percentile(ms, 50);
        row("CLI: detect with nothing attached, whole process (median)", fmt("%.0f ms", p50), "<= 1000 ms", p50 <= 1000);
    }
    {
        sim::Config slow;
        slow.baud = 9600;
        slow.lineRate = true;
        slow.turnaroundMs = 200;
        sim::SimTransmitter s(slow);
        if (s.start()) {
            const ChildRun run = runCli({"-p", s.slavePath(), "detect"});
            row("CLI: detect a transmitter that answers after 200 ms", fmt("%.0f ms, exit status %.0f", run.ms, run.status),
                "found (status 0)", run.status == 0);
        }
    }
    {
        auto s = startSim(sim::Dialect::Fd, 9600);
        const std::string log = "/tmp/ventora-bench-commission-" + std::to_string(::getpid()) + ".csv";
        std::vector<double> ms;
        bool ok = true;
        for (int i = 0; i < (smoke ? 1 : 5); ++i) {
            std::remove(log.c_str());
            sim::Config fresh = s->state();
            fresh.address = 1;
            s->setState(fresh);
            // -b and -d make the first request one the transmitter answers.
            const ChildRun run = runCli({"-p", s->slavePath(), "-b", "9600", "-d", "fd", "commission", "--address",
                                         "5", "--area", "450", "--log", log});
            ok = ok && run.status == 0 && s->state().address == 5 && s->state().area == 450;
            ms.push_back(run.ms);
        }
        std::remove(log.c_str());
        const double p50 = percentile(ms, 50);
        row("CLI: commission one FD transmitter at 9600, whole process to its log row (median)",
            fmt("%.0f ms", p50) + (ok ? "" : " (failed)"), "<= 1500 ms", p50 <= 1500 && ok);
    }
    {
        auto s = startSim(sim::Dialect::Fd, 9600);
        const auto window = smoke ? 1500ms : 10000ms;
        const ChildRun run = runCli({"-p", s->slavePath(), "-b", "9600", "-d", "fd", "-a", "1", "watch", "--interval",
                                     "1000"},
                                    window);
        const double percent = run.cpuMs / run.ms * 100.0;
        row(fmt("CLI: watch at a 1 s interval, whole process over %.0f s", run.ms / 1000.0),
            fmt("%.3f %% of a core (%.1f ms of CPU)", percent, run.cpuMs), "<= 0.1 %",
            percent <= 0.1 && run.status == 0);
    }
}
#endif

#ifdef VENTORA_CLI_PATH
// A line of three transmitters: the scan, the rounds of a watch, and what the
// live table costs over plain lines.
void cliLine(bool smoke) {
    sim::SimLine line(9600, true);
    for (const std::uint8_t address : {3, 77, 200}) {
        sim::Config c;
        c.address = address;
        line.add(c);
    }
    if (!line.start()) return;
    const std::string path = line.slavePath();
    {
        const int last = smoke ? 10 : 255;
        const ChildRun run = runCli({"-p", path, "-t", "50", "-b", "9600", "-d", "fd", "scan", "--to", std::to_string(last)});
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
    {
        const auto window = smoke ? 1500ms : 10000ms;
        const std::vector<std::string> args = {"-p", path, "-b", "9600", "-d", "fd", "-a", "3,77,200", "watch", "--interval",
                                               "1000"};
        const ChildRun plain = runCli(args, window);
        SilentPty terminal;   // stands for the person's terminal; what is drawn is read and dropped
        std::atomic<bool> drawing{true};
        std::jthread reader([&] {
            char sink[4096];
            while (drawing) {
                pollfd p{terminal.master, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0 && ::read(terminal.master, sink, sizeof sink) <= 0) std::this_thread::sleep_for(5ms);
            }
        });
        const ChildRun table = runCli(args, window, terminal.path.c_str());
        drawing = false;
        row("CLI: watch three at a 1 s interval, CPU of the live table / plain lines",
            fmt("%.1f / %.1f ms of CPU (%.2fx)", table.cpuMs, plain.cpuMs, table.cpuMs / std::max(plain.cpuMs, 0.001)),
            "about 1x (within noise)", std::nullopt);
    }
}
#endif

#ifdef VENTORA_CLI_PATH
// ser2net (RFC 2217) on 127.0.0.1 in front of a pty, for as long as it lives;
// port 0 when it could not be started.
struct Ser2netServer {
    pid_t pid = -1;
    std::uint16_t port = 0;
    std::string config;

    explicit Ser2netServer(const std::string& device) {
        // A port the kernel just handed out and released.
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), size) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
            port = ntohs(a.sin_port);
        ::close(fd);
        config = "/tmp/ventora-bench-ser2net-" + std::to_string(::getpid()) + ".yaml";
        std::ofstream(config) << "connection: &bus\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port
                              << "\n  connector: serialdev," << device << ",9600n81,local\n";
        const char* argv[] = {"ser2net", "-n", "-c", config.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* path = ::access("/usr/sbin/ser2net", X_OK) == 0 ? "/usr/sbin/ser2net" : "ser2net";
        if (posix_spawnp(&pid, path, &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        const auto t0 = Clock::now();
        bool up = false;
        while (pid > 0 && !up && msSince(t0) < 5000 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            a.sin_port = htons(port);
            up = ::connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(probe);
            if (!up) std::this_thread::sleep_for(10ms);
        }
        if (!up) port = 0;
    }
    ~Ser2netServer() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        std::remove(config.c_str());
    }
    std::string url() const { return "rfc2217://127.0.0.1:" + std::to_string(port); }
};

// The same read on the pty and through ser2net on loopback, taken in turns,
// and what one read costs on the wire.
void cliRemote(bool smoke) {
    auto s = startSim(sim::Dialect::Fd, 9600);
    Ser2netServer server(s->slavePath());
    if (server.port == 0) {
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
    NetworkSerialPort port(2000ms);
    Line line(port, server.url(), 220ms, nullptr);
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
#endif

void cli(bool smoke) {
#ifdef VENTORA_CLI_PATH
    cliRelease(smoke ? 5 : 200);
    cliAllocations(smoke ? 5 : 200);
    cliProcesses(smoke);
    cliLine(smoke);
    cliRemote(smoke);
#else
    (void)smoke;
    row("CLI", "not built with ventora-cli: skipped", "-", std::nullopt);
#endif
}

// Terminal columns of UTF-8 text: CJK characters (three-byte sequences here) take two.
std::size_t columns(const std::string& s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        n += len == 3 ? 2 : 1;
        i += len;
    }
    return n;
}

std::string pad(const std::string& s, std::size_t width) {
    return s + std::string(width > columns(s) ? width - columns(s) : 0, ' ');
}

void printTable() {
    std::size_t w0 = 6, w1 = 8, w2 = 4;
    for (const auto& r : rows) {
        w0 = std::max(w0, columns(r.figure));
        w1 = std::max(w1, columns(r.measured));
        w2 = std::max(w2, columns(r.goal));
    }
    std::printf("\n%s | %s | %s | Verdict\n", pad("Figure", w0).c_str(), pad("Measured", w1).c_str(),
                pad("Goal", w2).c_str());
    std::printf("%s\n", std::string(w0 + w1 + w2 + 16, '-').c_str());
    for (const auto& r : rows)
        std::printf("%s | %s | %s | %s\n", pad(r.figure, w0).c_str(), pad(r.measured, w1).c_str(),
                    pad(r.goal, w2).c_str(), r.verdict.c_str());
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    std::vector<std::string> only;   // sections named on the command line; none = all
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            only.emplace_back(argv[i]);
    }
    const auto wanted = [&](const char* section) {
        return only.empty() || std::find(only.begin(), only.end(), section) != only.end();
    };
    const int iterations = smoke ? 5 : 200;
    std::fprintf(stderr, "ventora-bench%s on %u cores\n", smoke ? " --smoke" : "", std::thread::hardware_concurrency());

    double ours9600 = 0;
    if (wanted("latency")) releaseDelay(smoke ? 5 : 100);
    if (wanted("latency") || wanted("peer")) {
        for (const std::uint32_t baud : smoke ? std::vector<std::uint32_t>{9600}
                                              : std::vector<std::uint32_t>{2400, 4800, 9600})
            ours9600 = latencyAt(baud, iterations);
    }
    if (wanted("peer")) peer(ours9600, smoke ? 2 : 50);
    if (wanted("detection")) detection(smoke);
    if (wanted("idle")) idle(smoke ? 200ms : 10000ms);
    if (wanted("allocations")) allocations(smoke ? 5 : 200);
    if (wanted("startup")) startup(smoke ? 1 : 5);
    if (wanted("cli")) cli(smoke);

    printTable();
    std::printf("\n(%u cores; latencies are from click to answer, wire time assumes 10 bits per byte)\n",
                std::thread::hardware_concurrency());
    return 0;
}
