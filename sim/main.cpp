// ventora-sim: serves one software transmitter on a fresh pseudo-terminal
// until SIGINT or SIGTERM.

#include "sim/sim_transmitter.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

void printUsage(std::FILE* to)
{
    std::fputs(
        "usage: ventora-sim [options]\n"
        "Serves a software air-velocity transmitter on a pseudo-terminal and prints its path.\n"
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

void printRequest(const sim::LoggedRequest& request)
{
    std::fprintf(stderr, "ventora-sim: %u bit/s:", static_cast<unsigned>(request.speed));
    for (std::uint8_t byte : request.bytes)
        std::fprintf(stderr, " %02X", byte);
    std::fputc('\n', stderr);
}

} // namespace

int main(int argc, char** argv)
{
    sim::Config config;
    bool verbose = false;

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

    std::size_t printed = 0;
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM)
            break;
        if (!verbose)
            continue;
        const auto log = transmitter.requests();
        for (; printed < log.size(); ++printed)
            printRequest(log[printed]);
    }
    return 0;
}
