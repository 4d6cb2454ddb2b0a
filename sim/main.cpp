// ventora-sim: serves one software transmitter, or a line of them, on a fresh
// pseudo-terminal until SIGINT or SIGTERM.

#include "sim/sim_transmitter.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

using AddressList = std::vector<std::pair<std::uint8_t, unsigned>>;

struct SimOptions {
    sim::Config config;
    bool verbose = false;
    bool addressGiven = false;
    AddressList lineAddresses;
    AddressList lineTurnarounds;
};

bool parseNumber(const char* text, unsigned long max, unsigned long& out) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value > max || text[0] == '-') return false;
    out = value;
    return true;
}

// A list of A or A:MS items, each A a bus address 1..255 and MS at most 60000.
bool parseAddressList(const std::string& text, bool withMs, AddressList& out) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const std::size_t colon = item.find(':');
        if ((colon != std::string::npos) != withMs) return false;
        unsigned long address = 0;
        unsigned long ms = 0;
        if (!parseNumber(item.substr(0, colon).c_str(), 255, address) || address == 0 ||
            (withMs && !parseNumber(item.substr(colon + 1).c_str(), 60000, ms)))
            return false;
        out.emplace_back(static_cast<std::uint8_t>(address), static_cast<unsigned>(ms));
        if (comma == std::string::npos) return true;
        from = comma + 1;
    }
}

void printRequest(const sim::LoggedRequest& request) {
    std::fprintf(stderr, "ventora-sim: %u bit/s:", static_cast<unsigned>(request.speed));
    for (std::uint8_t byte : request.bytes) std::fprintf(stderr, " %02X", byte);
    std::fputc('\n', stderr);
}

// The path alone on stdout, so that a script can take it as it is: p=$(...).
void printPath(const std::string& path) {
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
}

// Serves until SIGINT or SIGTERM, printing each request when verbose.
template <class Server>
void serveUntilStopped(const Server& server, const sigset_t& stopSignals, bool verbose) {
    std::size_t printed = 0;
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) return;
        if (!verbose) continue;
        const auto log = server.requests();
        for (; printed < log.size(); ++printed) printRequest(log[printed]);
    }
}

int serveLine(const sim::Config& config, const AddressList& addresses, const AddressList& turnarounds,
              const sigset_t& stopSignals, bool verbose) {
    sim::SimLine line(config.baud, config.lineRate);
    line.setEcho(config.echo);
    std::string listed;
    for (const auto& [address, unused] : addresses) {
        sim::Config member = config;
        member.address = address;
        for (const auto& [at, ms] : turnarounds)
            if (at == address) member.turnaroundMs = ms;
        line.add(member);
        listed += (listed.empty() ? "" : ", ") + std::to_string(address);
    }
    if (!line.start()) {
        std::fprintf(stderr, "ventora-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "ventora-sim: serving a line of %zu FD transmitters (addresses %s, %u bit/s) on %s\n",
                 addresses.size(), listed.c_str(), static_cast<unsigned>(config.baud), line.slavePath().c_str());
    printPath(line.slavePath());
    serveUntilStopped(line, stopSignals, verbose);
    return 0;
}

// A --line or --line-turnaround value as CLI11 checks it.
CLI::Validator addressListCheck(bool withMs) {
    return CLI::Validator(
        [withMs](std::string& text) {
            AddressList list;
            if (parseAddressList(text, withMs, list)) return std::string();
            return std::string(withMs ? "each item is A:MS, A a bus address 1..255 and MS at most 60000"
                                      : "each item is a bus address 1..255");
        },
        withMs ? "A:MS[,A:MS...]" : "A,B,...");
}

// Numbers are read wide and checked before they are narrowed into the config.
struct WideValues {
    std::string dialect = "fd";
    unsigned address = 1, velocity = 123, area = 300, parity = 0, stopA = 0, stopB = 0;
    std::vector<std::string> lines, lineTurnarounds; // each may be given more than once
};

void addOptions(CLI::App& app, SimOptions& options, WideValues& wide) {
    sim::Config& config = options.config;
    app.add_option("--dialect", wide.dialect, "identity dialect")
        ->check(CLI::IsMember({"fd", "modbus"}))
        ->capture_default_str();
    app.add_option("--address", wide.address, "bus address")->check(CLI::Range(1, 255))->capture_default_str();
    app.add_option("--baud", config.baud, "baud rate in bit/s")->check(CLI::Range(1, 4'000'000))->capture_default_str();
    app.add_option("--velocity", wide.velocity, "air velocity in tenths of m/s")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    app.add_option("--volume", config.volume, "air volume in m3/h")->capture_default_str();
    app.add_option("--area", wide.area, "duct area in cm2")->check(CLI::Range(0, 65535))->capture_default_str();
    app.add_option("--parity", wide.parity, "parity code reported in the Modbus dialect")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--stop-a", wide.stopA, "first stop-bit check value")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--stop-b", wide.stopB, "second stop-bit check value")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_flag("--line-rate", config.lineRate, "emit at the line rate, 10 bits per byte");
    app.add_option("--turnaround", config.turnaroundMs, "pause before each reply, ms")
        ->check(CLI::Range(0, 60000))
        ->capture_default_str();
    app.add_option("--line", wide.lines,
                   "serve a line of FD transmitters at these bus addresses instead (an address may repeat), each "
                   "with the values above; replies that overlap on the line collide")
        ->check(addressListCheck(false));
    app.add_option("--line-turnaround", wide.lineTurnarounds,
                   "on a line, the pause before the replies of the transmitters at address A (default --turnaround)")
        ->check(addressListCheck(true));
    app.add_flag("--echo", config.echo,
                 "hand every request back before answering, as an adapter whose receiver hears its own transmitter");
    app.add_flag("-v,--verbose", options.verbose, "print every request on stderr");
}

// What no single option can check: a line's options against the others.
int checkLine(const SimOptions& options) {
    if (options.lineAddresses.empty() && !options.lineTurnarounds.empty()) {
        std::fprintf(stderr, "ventora-sim: --line-turnaround needs --line\n");
        return 2;
    }
    if (!options.lineAddresses.empty() && (options.addressGiven || options.config.dialect != sim::Dialect::Fd)) {
        std::fprintf(stderr, "ventora-sim: --line takes the addresses of FD transmitters; "
                             "--address and --dialect modbus do not apply\n");
        return 2;
    }
    for (const auto& [address, ms] : options.lineTurnarounds) {
        const auto at = [address = address](const auto& member) { return member.first == address; };
        if (std::none_of(options.lineAddresses.begin(), options.lineAddresses.end(), at)) {
            std::fprintf(stderr, "ventora-sim: --line-turnaround: no transmitter at address %u\n",
                         static_cast<unsigned>(address));
            return 2;
        }
    }
    return -1;
}

// -1 when the sim should serve; otherwise the exit status, with the help on
// stdout (0) or the complaint on stderr (2).
int parseOptions(int argc, char** argv, SimOptions& options) {
    CLI::App app{"Serves a software air-velocity transmitter, or a line of them, on a pseudo-terminal and prints "
                 "its path.",
                 "ventora-sim"};
    WideValues wide;
    addOptions(app, options, wide);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    sim::Config& config = options.config;
    config.dialect = wide.dialect == "fd" ? sim::Dialect::Fd : sim::Dialect::Modbus;
    config.address = static_cast<std::uint8_t>(wide.address);
    config.velocityTenths = static_cast<std::uint16_t>(wide.velocity);
    config.area = static_cast<std::uint16_t>(wide.area);
    config.parityCode = static_cast<std::uint8_t>(wide.parity);
    config.stopCheckA = static_cast<std::uint8_t>(wide.stopA);
    config.stopCheckB = static_cast<std::uint8_t>(wide.stopB);
    options.addressGiven = app.count("--address") > 0;
    for (const std::string& line : wide.lines) parseAddressList(line, false, options.lineAddresses);
    for (const std::string& pauses : wide.lineTurnarounds) parseAddressList(pauses, true, options.lineTurnarounds);
    return checkLine(options);
}

} // namespace

int main(int argc, char** argv) {
    SimOptions options;
    if (const int status = parseOptions(argc, argv, options); status >= 0) return status;
    const sim::Config& config = options.config;

    // Blocked before the serving thread exists, so only sigtimedwait sees them.
    // A shell starts background jobs with SIGINT ignored, and an ignored signal
    // is discarded even while blocked, so the default disposition comes back.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    if (!options.lineAddresses.empty())
        return serveLine(config, options.lineAddresses, options.lineTurnarounds, stopSignals, options.verbose);

    sim::SimTransmitter transmitter(config);
    if (!transmitter.start()) {
        std::fprintf(stderr, "ventora-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "ventora-sim: serving %s transmitter (address %u, %u bit/s) on %s\n",
                 config.dialect == sim::Dialect::Fd ? "an FD" : "a Modbus", static_cast<unsigned>(config.address),
                 static_cast<unsigned>(config.baud), transmitter.slavePath().c_str());
    printPath(transmitter.slavePath());

    serveUntilStopped(transmitter, stopSignals, options.verbose);
    return 0;
}
