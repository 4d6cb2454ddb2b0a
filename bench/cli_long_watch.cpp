// ventora-cli over a long unattended watch: the software transmitter drops out
// and comes back every second, as an adapter that is reset, and the figures
// say whether the watch's memory, descriptors and rows keep up.
//
// VENTORA_BENCH_WATCH_ROUNDS=N sets the rounds (10^5 by default, about 40
// minutes at the line rate; 200 for --smoke).

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "bench/bench_support.h"
#include "bench/figures.h"
#include "tests/support/process.h"

using namespace std::chrono_literals;

namespace {

struct Footprint {
    long rssKb = -1;
    long descriptors = -1;
};

// The first child of this process that runs ventora-cli; -1 when there is none yet.
long cliChild() {
    const std::filesystem::path cli = std::filesystem::weakly_canonical(VENTORA_CLI_PATH);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        long parent = -1;
        // The command name in parentheses may hold spaces: the fields go on after the last ')'.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos || std::sscanf(line.c_str() + close + 1, " %*c %ld", &parent) != 1) continue;
        std::error_code linkError;
        if (parent == long(::getpid()) && std::filesystem::read_symlink(entry.path() / "exe", linkError) == cli)
            return std::stol(name);
    }
    return -1;
}

Footprint footprintOf(long pid) {
    Footprint f;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) f.rssKb = std::atol(line.c_str() + 6);
    std::error_code ec;
    f.descriptors = 0;
    for (std::filesystem::directory_iterator it(proc + "/fd", ec), end; !ec && it != end; it.increment(ec))
        ++f.descriptors;
    return f;
}

// The rows of a CSV file that grows, reading only what was added since.
class RowCounter {
public:
    explicit RowCounter(const std::string& path) : path_(path) {}
    ~RowCounter() {
        if (file_ != nullptr) std::fclose(file_);
    }
    long rows() {
        if (file_ == nullptr) file_ = std::fopen(path_.c_str(), "r");
        if (file_ == nullptr) return 0;
        char chunk[65536];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file_)) > 0;)
            for (std::size_t i = 0; i < n; ++i) lines_ += chunk[i] == '\n';
        std::clearerr(file_);
        return lines_ > 0 ? lines_ - 1 : 0; // less the header
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    long lines_ = 0;
};

// Points link at a new transmitter's pseudo-terminal every second, and then
// ends the old one, whose hang-up the watch sees; as a by-id link names the
// adapter again after a reset.
class DroppingTransmitter {
public:
    explicit DroppingTransmitter(const std::string& link)
        : link_(link),
          current_(simAtLineRate(sim::Dialect::Fd, 9600)) {
        point();
        swapper_ = std::jthread([this](std::stop_token stop) {
            while (!stop.stop_requested()) {
                for (int i = 0; i < 20 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(50ms);
                auto next = simAtLineRate(sim::Dialect::Fd, 9600);
                std::lock_guard lock(mutex_);
                std::swap(current_, next);
                point();
                ++swaps_;
            }
        });
    }
    ~DroppingTransmitter() {
        swapper_ = {};
        std::remove(link_.c_str());
    }
    long swaps() {
        std::lock_guard lock(mutex_);
        return swaps_;
    }

private:
    void point() {
        const std::string temporary = link_ + ".new";
        std::remove(temporary.c_str());
        if (::symlink(current_->slavePath().c_str(), temporary.c_str()) == 0) std::filesystem::rename(temporary, link_);
    }

    std::string link_;
    std::mutex mutex_;
    std::unique_ptr<sim::SimTransmitter> current_;
    long swaps_ = 0;
    std::jthread swapper_;
};

// What the watch's summary on standard error says: the rounds it ran
// ("N readings, M failed") and its outages ("port lost R rounds, K outages").
struct WatchSummary {
    long rounds = -1;
    long outages = 0;
};

WatchSummary summaryOf(const std::string& errPath) {
    WatchSummary summary;
    std::ifstream err(errPath);
    for (std::string line; std::getline(err, line);) {
        unsigned a = 0, b = 0;
        if (line.find(" readings") != std::string::npos && std::sscanf(line.c_str(), "%u readings, %u", &a, &b) >= 1)
            summary.rounds = long(a) + long(b);
        if (std::sscanf(line.c_str(), "port lost %u round%*s %u", &a, &b) == 2) summary.outages = b;
    }
    return summary;
}

long roundsWanted(bool smoke) {
    const char* given = std::getenv("VENTORA_BENCH_WATCH_ROUNDS");
    if (given != nullptr && std::atol(given) > 0) return std::atol(given);
    return smoke ? 200 : 100000;
}

} // namespace

void cliLongWatch(bool smoke) {
    const long rounds = roundsWanted(smoke);
    const std::string stem = "/tmp/ventora-bench-long-" + std::to_string(::getpid());
    const std::string csv = stem + ".csv", errPath = stem + ".err";
    std::remove(csv.c_str());
    std::ofstream{errPath}; // the child's standard error opens it without creating it
    DroppingTransmitter transmitter(stem + ".link");
    const auto t0 = Clock::now();
    Process tool(
        {.program = VENTORA_CLI_PATH,
         .args = {"-p", stem + ".link", "-b", "9600", "-d", "fd", "-a", "1", "watch", "--interval", "0", "--csv", csv},
         .outTo = "/dev/null",
         .errTo = errPath});
    long pid = -1;
    for (int i = 0; i < 200 && pid < 0 && tool.running(); ++i, std::this_thread::sleep_for(10ms)) pid = cliChild();
    RowCounter counter(csv);
    Footprint at10, atEnd;
    for (long rows = 0; pid >= 0 && tool.running() && rows < rounds; std::this_thread::sleep_for(20ms)) {
        rows = counter.rows();
        if (at10.rssKb < 0 && rows >= rounds / 10) at10 = footprintOf(pid);
        if (rows >= rounds) atEnd = footprintOf(pid);
    }
    tool.interrupt();
    const int status = tool.finish().status;
    const double seconds = msSince(t0) / 1000.0;
    const long rows = counter.rows();
    const WatchSummary ran = summaryOf(errPath);
    std::remove(csv.c_str());
    std::remove(errPath.c_str());
    const std::string what =
        fmt("CLI: watch --interval 0, %.0f rounds, the transmitter gone and back every second: ", double(rounds));
    const long growth = atEnd.rssKb - at10.rssKb;
    row(what + "resident memory at 10 % / at the end",
        fmt("%.0f / %.0f kB (%+.0f kB)", double(at10.rssKb), double(atEnd.rssKb), double(growth)), "<= +256 kB",
        at10.rssKb > 0 && atEnd.rssKb > 0 && growth <= 256);
    row(what + "open descriptors at 10 % / at the end",
        fmt("%.0f / %.0f", double(at10.descriptors), double(atEnd.descriptors)), "none added",
        at10.descriptors > 0 && atEnd.descriptors > 0 && atEnd.descriptors <= at10.descriptors);
    row(what + "rows written / rounds run",
        fmt("%.0f / %.0f", double(rows), double(ran.rounds)) +
            fmt(" (%.0f outages of %.0f drop-outs, %.0f s", double(ran.outages), double(transmitter.swaps()), seconds) +
            fmt(", exit status %.0f)", status),
        "a row for every round", rows == ran.rounds && rows >= rounds && status == 0);
}
