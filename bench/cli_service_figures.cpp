// A line watched as a service: what resting saves, the watchdog's pings, the
// unit's exposure rating, and an area set from a dashboard. The service
// manager is a datagram socket named by NOTIFY_SOCKET, as systemd's is.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/figures.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/process.h"
#include "tests/support/sim_start.h"

using namespace std::chrono_literals;

namespace {

// A service manager that only listens: every message, as it comes.
class NotifyListener {
public:
    NotifyListener() : path_("/tmp/ventora-bench-notify-" + std::to_string(::getpid())) {
        ::unlink(path_.c_str());
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        const timeval wake{0, 100'000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
        reader_ = std::jthread([this](std::stop_token stop) {
            char message[512];
            while (!stop.stop_requested()) {
                const ssize_t n = ::recv(fd_, message, sizeof message, 0);
                std::lock_guard lock(mutex_);
                if (n > 0) heard_.emplace_back(message, std::size_t(n));
            }
        });
    }
    ~NotifyListener() {
        reader_.request_stop();
        reader_.join();
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    std::string variable() const { return "NOTIFY_SOCKET=" + path_; }
    std::vector<std::string> heard() {
        std::this_thread::sleep_for(200ms); // what is still queued
        std::lock_guard lock(mutex_);
        return heard_;
    }

private:
    std::string path_;
    int fd_ = -1;
    std::mutex mutex_;
    std::vector<std::string> heard_;
    std::jthread reader_;
};

// ventora-cli run to its end with a listening manager; what the manager heard.
std::vector<std::string> watchHeard(const std::vector<std::string>& args, int& status) {
    NotifyListener manager;
    Process tool({.program = VENTORA_CLI_PATH,
                  .args = args,
                  .outTo = "/dev/null",
                  .errTo = "/dev/null",
                  .environment = {manager.variable()}});
    status = tool.finish().status;
    return manager.heard();
}

// The round times of STATUS=... round N ms, from the round `from` on.
std::vector<double> roundTimes(const std::vector<std::string>& heard, std::size_t from) {
    std::vector<double> ms;
    for (const std::string& m : heard) {
        const std::size_t at = m.find(", round ");
        if (at != std::string::npos) ms.push_back(std::atof(m.c_str() + at + 8));
    }
    ms.erase(ms.begin(), ms.begin() + std::ptrdiff_t(std::min(from, ms.size())));
    return ms;
}

double mean(const std::vector<double>& v) {
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

// Mean round time of a watch of the addresses on a line of five with 2 and 4 unplugged.
double lineRound(const std::string& addresses, int rounds, bool rest, bool& ok) {
    sim::SimLine line(9600, true);
    for (int a = 1; a <= 5; ++a) {
        sim::Config c;
        c.address = std::uint8_t(a);
        line.add(c);
    }
    if (!line.start()) return 0;
    line.unplug(1);
    line.unplug(3);
    std::vector<std::string> args = {
        "-p",      line.slavePath(),      "-b", "9600", "-d", "fd", "-a", addresses, "watch", "--interval", "0",
        "--count", std::to_string(rounds)};
    if (!rest) args.push_back("--no-rest");
    int status = -1;
    // The first rounds are before the rest begins.
    const std::vector<double> ms = roundTimes(watchHeard(args, status), rest ? 10 : 0);
    ok = ok && status == 0 && !ms.empty();
    return mean(ms);
}

void cliRest(bool smoke) {
    const int rounds = smoke ? 30 : 300;
    bool ok = true;
    const double live = lineRound("1,3,5", rounds, true, ok);
    const double rested = lineRound("1,2,3,4,5", rounds, true, ok);
    const double unrested = lineRound("1,2,3,4,5", smoke ? 5 : 30, false, ok);
    const double ratio = rested / std::max(live, 0.001);
    row("CLI: a line of five, two unplugged, resting / the three live ones, mean round",
        fmt("%.2fx (%.1f ms / %.1f ms)", ratio, rested, live) + fmt("; --no-rest %.1f ms", unrested) +
            (ok ? "" : " (failed)"),
        "<= 1.15x", ratio <= 1.15 && ok);
}

void cliWatchdog(bool smoke) {
    sim::Config fast;
    fast.baud = 9600;
    const auto transmitter = startSim(fast);
    if (!transmitter) return;
    const int rounds = smoke ? 200 : 10000;
    int status = -1;
    const std::vector<std::string> heard =
        watchHeard({"-p", transmitter->slavePath(), "-b", "9600", "-d", "fd", "-a", "1", "watch", "--interval", "0",
                    "--count", std::to_string(rounds)},
                   status);
    const auto pings = std::count_if(heard.begin(), heard.end(),
                                     [](const std::string& m) { return m.find("WATCHDOG=1") != std::string::npos; });
    const double ratio = double(pings) / rounds;
    row("CLI: WATCHDOG=1 pings / rounds, " + std::to_string(rounds) + " rounds",
        fmt("%.2fx (%.0f pings)", ratio, double(pings)) + (status == 0 ? "" : " (failed)"), "1.00x",
        pings == rounds && status == 0);
}

void cliUnitExposure() {
    Process analyze({.program = "systemd-analyze",
                     .args = {"security", "--offline=true", VENTORA_SOURCE_DIR "/packaging/ventora-watch@.service"},
                     .errTo = "/dev/null"});
    const ProcessRun run = analyze.finish();
    const std::size_t at = run.out.find("Overall exposure level for ");
    if (at == std::string::npos) {
        row("Service: the unit's exposure (systemd-analyze security --offline=true)",
            "systemd-analyze not run: skipped", "<= 2.5", std::nullopt);
        return;
    }
    const double exposure = std::atof(run.out.c_str() + run.out.find(": ", at) + 2);
    row("Service: the unit's exposure (systemd-analyze security --offline=true)", fmt("%.1f", exposure), "<= 2.5",
        exposure <= 2.5);
}

// Areas published at moments spread over the interval, each until its
// verified value comes back on the area topic.
void cliAreaFromMqtt(bool smoke) {
    if (mosquittoPath() == nullptr) return;
    const MqttBroker broker;
    sim::SimLine line(9600, true);
    for (const int a : {3, 77, 200}) {
        sim::Config c;
        c.address = std::uint8_t(a);
        line.add(c);
    }
    const auto subscriber = subscribe(broker, "ventora/bench/77/area");
    if (!broker.running() || !line.start() || !subscriber) return;
    constexpr int kIntervalMs = 1000;
    Process watch(
        {.program = VENTORA_CLI_PATH,
         .args = {"-p", line.slavePath(), "-b", "9600", "-d", "fd", "-a", "3,77,200", "watch", "--interval",
                  std::to_string(kIntervalMs), "--mqtt", broker.url(), "--mqtt-line", "bench", "--mqtt-commands"},
         .outTo = "/dev/null",
         .errTo = "/dev/null"});
    std::this_thread::sleep_for(1500ms);
    std::vector<double> ms;
    for (int i = 0; i < (smoke ? 2 : 10); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(137 * i % kIntervalMs));
        const std::string area = std::to_string(400 + i);
        const auto sent = Clock::now();
        if (!publishTo(broker, "ventora/bench/77/area/set", area) ||
            !subscriber->awaitOutput("ventora/bench/77/area " + area + "\n", 5s))
            break;
        ms.push_back(msSince(sent));
    }
    watch.interrupt();
    watch.finish();
    const bool ok = ms.size() == std::size_t(smoke ? 2 : 10);
    const double most = ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    row("CLI: an area from MQTT to its verified value on the broker, 1 s rounds of 3, p50 / max",
        fmt("%.0f / %.0f ms", percentile(ms, 50), most) + (ok ? "" : " (failed)"), "<= 1 round + the write (1100 ms)",
        ok && most <= kIntervalMs + 100);
}

} // namespace

void cliServiceFigures(bool smoke) {
    cliRest(smoke);
    cliWatchdog(smoke);
    cliUnitExposure();
    cliAreaFromMqtt(smoke);
}
