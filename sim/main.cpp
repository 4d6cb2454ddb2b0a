// ventora-sim: serves one software transmitter, or a line of them, on a fresh
// pseudo-terminal until SIGINT or SIGTERM.

#include "sim/sim_transmitter.h"

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

void printUsage(std::FILE* to)
{
    std::fputs(
        "usage: ventora-sim [options]\n"
        "Serves a software air-velocity transmitter, or a line of them, on a pseudo-terminal\n"
        "and prints its path.\n"
        "\n"
        "  --dialect fd|modbus   identity dialect (default fd)\n"
        "  --address N           bus address 1..255 (default 1)\n"
        "  --baud N              baud rate in bit/s (default 9600)\n"
        "  --velocity TENTHS     air velocity in tenths of m/s (default 123)\n"
        "  --volume F            air volume in m3/h (default 1328.4)\n"
        "  --area N              duct area in cm2 (default 300)\n"
        "  --parity N            parity code reported in the Modbus dialect (default 0)\n"
        "  --stop-a N            first stop-bit check value (default 0)\n"
        "  --stop-b N            second stop-bit check value (default 0)\n"
        "  --line-rate           emit at the line rate, 10 bits per byte\n"
        "  --turnaround MS       pause before each reply (default 0)\n"
        "  --line A,B,...        serve a line of FD transmitters at these bus addresses\n"
        "                        instead (an address may repeat), each with the values\n"
        "                        above; replies that overlap on the line collide\n"
        "  --line-turnaround A:MS[,A:MS...]\n"
        "                        on a line, the pause before the replies of the\n"
        "                        transmitters at address A (default --turnaround)\n"
        "  --verbose             print every request on stderr\n"
        "  --help                print this text\n",
        to);
}

bool parseNumber(const char* text, unsigned long max, unsigned long& out)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value > max || text[0] == '-')
        return false;
    out = value;
    return true;
}

bool parseFloat(const char* text, float& out)
{
    char* end = nullptr;
    const float value = std::strtof(text, &end);
    if (end == text || *end != '\0')
        return false;
    out = value;
    return true;
}

// A list of A or A:MS items, each A a bus address 1..255 and MS at most 60000.
bool parseAddressList(const std::string& text, bool withMs, std::vector<std::pair<std::uint8_t, unsigned>>& out)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const std::size_t colon = item.find(':');
        if ((colon != std::string::npos) != withMs)
            return false;
        unsigned long address = 0;
        unsigned long ms = 0;
        if (!parseNumber(item.substr(0, colon).c_str(), 255, address) || address == 0
            || (withMs && !parseNumber(item.substr(colon + 1).c_str(), 60000, ms)))
            return false;
        out.emplace_back(static_cast<std::uint8_t>(address), static_cast<unsigned>(ms));
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}

void printRequest(const sim::LoggedRequest& request)
{
    std::fprintf(stderr, "ventora-sim: %u bit/s:", static_cast<unsigned>(request.speed));
    for (std::uint8_t byte : request.bytes)
        std::fprintf(stderr, " %02X", byte);
    std::fputc('\n', stderr);
}

// Serves until SIGINT or SIGTERM, printing each request when verbose.
template <class Server>
void serveUntilStopped(const Server& server, const sigset_t& stopSignals, bool verbose)
{
    std::size_t printed = 0;
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM)
            return;
        if (!verbose)
            continue;
        const auto log = server.requests();
        for (; printed < log.size(); ++printed)
            printRequest(log[printed]);
    }
}

int serveLine(const sim::Config& config, const std::vector<std::pair<std::uint8_t, unsigned>>& addresses,
              const std::vector<std::pair<std::uint8_t, unsigned>>& turnarounds,
              const sigset_t& stopSignals, bool verbose)
{
    sim::SimLine line(config.baud, config.lineRate);
    std::string listed;
    for (const auto& [address, unused] : addresses) {
        sim::Config member = config;
        member.address = address;
        for (const auto& [at, ms] : turnarounds)
            if (at == address)
                member.turnaroundMs = ms;
        line.add(member);
        listed += (listed.empty() ? "" : ", ") + std::to_string(address);
    }
    if (!line.start()) {
        std::fprintf(stderr, "ventora-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("ventora-sim: serving a line of %zu FD transmitters (addresses %s, %u bit/s) on %s\n",
                addresses.size(), listed.c_str(), static_cast<unsigned>(config.baud), line.slavePath().c_str());
    std::fflush(stdout);
    serveUntilStopped(line, stopSignals, verbose);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    sim::Config config;
    bool verbose = false;
    bool addressGiven = false;
    std::vector<std::pair<std::uint8_t, unsigned>> lineAddresses;
    std::vector<std::pair<std::uint8_t, unsigned>> lineTurnarounds;

    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        std::string value;
        const auto eq = option.find('=');
        if (eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
        }
        if (option == "--help" || option == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (option == "--line-rate") {
            config.lineRate = true;
            continue;
        }
        if (option == "--verbose" || option == "-v") {
            verbose = true;
            continue;
        }
        if (eq == std::string::npos) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ventora-sim: %s needs a value\n", option.c_str());
                return 2;
            }
            value = argv[++i];
        }
        unsigned long n = 0;
        bool ok = true;
        if (option == "--dialect") {
            if (value == "fd")
                config.dialect = sim::Dialect::Fd;
            else if (value == "modbus")
                config.dialect = sim::Dialect::Modbus;
            else
                ok = false;
        } else if (option == "--address") {
            ok = parseNumber(value.c_str(), 255, n) && n != 0;
            config.address = static_cast<std::uint8_t>(n);
            addressGiven = true;
        } else if (option == "--baud") {
            ok = parseNumber(value.c_str(), 4000000, n) && n != 0;
            config.baud = static_cast<std::uint32_t>(n);
        } else if (option == "--velocity") {
            ok = parseNumber(value.c_str(), 65535, n);
            config.velocityTenths = static_cast<std::uint16_t>(n);
        } else if (option == "--volume") {
            ok = parseFloat(value.c_str(), config.volume);
        } else if (option == "--area") {
            ok = parseNumber(value.c_str(), 65535, n);
            config.area = static_cast<std::uint16_t>(n);
        } else if (option == "--parity") {
            ok = parseNumber(value.c_str(), 255, n);
            config.parityCode = static_cast<std::uint8_t>(n);
        } else if (option == "--stop-a") {
            ok = parseNumber(value.c_str(), 255, n);
            config.stopCheckA = static_cast<std::uint8_t>(n);
        } else if (option == "--stop-b") {
            ok = parseNumber(value.c_str(), 255, n);
            config.stopCheckB = static_cast<std::uint8_t>(n);
        } else if (option == "--turnaround") {
            ok = parseNumber(value.c_str(), 60000, n);
            config.turnaroundMs = static_cast<unsigned>(n);
        } else if (option == "--line") {
            ok = parseAddressList(value, false, lineAddresses);
        } else if (option == "--line-turnaround") {
            ok = parseAddressList(value, true, lineTurnarounds);
        } else {
            std::fprintf(stderr, "ventora-sim: unknown option %s\n", option.c_str());
            printUsage(stderr);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "ventora-sim: bad value for %s: %s\n", option.c_str(), value.c_str());
            return 2;
        }
    }

    if (lineAddresses.empty() && !lineTurnarounds.empty()) {
        std::fprintf(stderr, "ventora-sim: --line-turnaround needs --line\n");
        return 2;
    }
    if (!lineAddresses.empty() && (addressGiven || config.dialect != sim::Dialect::Fd)) {
        std::fprintf(stderr, "ventora-sim: --line takes the addresses of FD transmitters; "
                             "--address and --dialect modbus do not apply\n");
        return 2;
    }
    for (const auto& [address, ms] : lineTurnarounds) {
        bool present = false;
        for (const auto& member : lineAddresses)
            present = present || member.first == address;
        if (!present) {
            std::fprintf(stderr, "ventora-sim: --line-turnaround: no transmitter at address %u\n",
                         static_cast<unsigned>(address));
            return 2;
        }
    }

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

    if (!lineAddresses.empty())
        return serveLine(config, lineAddresses, lineTurnarounds, stopSignals, verbose);

    sim::SimTransmitter transmitter(config);
    if (!transmitter.start()) {
        std::fprintf(stderr, "ventora-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("ventora-sim: serving %s transmitter (address %u, %u bit/s) on %s\n",
                config.dialect == sim::Dialect::Fd ? "FD" : "Modbus",
                static_cast<unsigned>(config.address), static_cast<unsigned>(config.baud),
                transmitter.slavePath().c_str());
    std::fflush(stdout);

    serveUntilStopped(transmitter, stopSignals, verbose);
    return 0;
}
