#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "tests/support/process.h"
#include "tests/support/sim_start.h"

// ---- heap allocations, counted on the thread that asks for it -------------

namespace {

thread_local bool tCounting = false;
std::atomic<std::uint64_t> gAllocations{0};

void* countedAlloc(std::size_t n) {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

struct Row {
    std::string figure, measured, goal, verdict;
};
std::vector<Row> rows;

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

} // namespace

void startCountingAllocations() {
    gAllocations = 0;
    tCounting = true;
}

std::uint64_t stopCountingAllocations() {
    tCounting = false;
    return gAllocations.load();
}

void* operator new(std::size_t n) { return countedAlloc(n); }
void* operator new[](std::size_t n) { return countedAlloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// ---- timing and the table -------------------------------------------------

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, std::size_t(p / 100.0 * double(v.size() - 1) + 0.5));
    return v[i];
}

std::string fmt(const char* f, double a, double b, double c) {
    char buf[160];
    std::snprintf(buf, sizeof buf, f, a, b, c);
    return buf;
}

void row(std::string figure, std::string measured, std::string goal, std::optional<bool> met) {
    rows.push_back({std::move(figure), std::move(measured), std::move(goal), met ? (*met ? "met" : "MISSED") : "-"});
    std::fprintf(stderr, "  %s: %s\n", rows.back().figure.c_str(), rows.back().measured.c_str());
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

// ---- the peers --------------------------------------------------------------

std::unique_ptr<sim::SimTransmitter> simAtLineRate(sim::Dialect dialect, std::uint32_t baud) {
    sim::Config c;
    c.dialect = dialect;
    c.baud = baud;
    c.lineRate = true;
    auto s = startSim(c);
    if (!s) {
        std::fprintf(stderr, "ventora-bench: cannot create a pseudo-terminal\n");
        std::exit(1);
    }
    return s;
}

double runMbpoll(const std::string& device) {
    const auto t0 = Clock::now();
    Process mbpoll({.program = "mbpoll",
                    .args = {"-m",   "rtu", "-a", "1",  "-0", "-r", "0",    "-c", "4",  "-t", "4",   "-b",
                             "9600", "-d",  "8",  "-s", "1",  "-P", "none", "-1", "-o", "1",  device},
                    .outTo = "/dev/null",
                    .errTo = "/dev/null"});
    if (!mbpoll.started()) return -1;
    const ProcessRun run = mbpoll.finish();
    const double t = msSince(t0);
    return run.status == 0 ? t : -2;
}
