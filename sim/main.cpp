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
#include <functional>
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
bool parseAddressList(const std::string& text, bool withMs, AddressList& out)
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

int serveLine(const sim::Config& config, const AddressList& addresses, const AddressList& turnarounds,
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

// Each option is checked the moment it is parsed, after any word before it
// that is no option: the first wrong word on the command line is the one reported.
void rejectUnknown(const CLI::App& app)
{
    if (!app.remaining().empty())
        throw CLI::ExtrasError(app.remaining());
}

CLI::Option* addValue(CLI::App& app, const std::string& name, std::function<bool(const std::string&)> take)
{
    return app
        .add_option(name,
                    [&app, name, take](const CLI::results_t& values) {
                        rejectUnknown(app);
                        if (!take(values.front()))
                            throw CLI::ValidationError(name, values.front());
                        return true;
                    })
        ->trigger_on_parse();
}

// A flag takes any "=value" and ignores it.
void addFlag(CLI::App& app, const std::string& names, std::function<void()> set)
{
    addValue(app, names, [set](const std::string&) {
        set();
        return true;
    })->expected(0);
}

// A decimal number from min to max, into field.
template <class Field>
std::function<bool(const std::string&)> numberInto(Field& field, unsigned long max, unsigned long min = 0)
{
    return [&field, max, min](const std::string& text) {
        unsigned long n = 0;
        if (!parseNumber(text.c_str(), max, n) || n < min)
            return false;
        field = static_cast<Field>(n);
        return true;
    };
}

void addOptions(CLI::App& app, SimOptions& options)
{
    sim::Config& config = options.config;
    addValue(app, "--dialect", [&config](const std::string& text) {
        if (text != "fd" && text != "modbus")
            return false;
        config.dialect = text == "fd" ? sim::Dialect::Fd : sim::Dialect::Modbus;
        return true;
    });
    addValue(app, "--address", [&options](const std::string& text) {
        options.addressGiven = true;
        return numberInto(options.config.address, 255, 1)(text);
    });
    addValue(app, "--baud", numberInto(config.baud, 4000000, 1));
    addValue(app, "--velocity", numberInto(config.velocityTenths, 65535));
    addValue(app, "--volume", [&config](const std::string& text) { return parseFloat(text.c_str(), config.volume); });
    addValue(app, "--area", numberInto(config.area, 65535));
    addValue(app, "--parity", numberInto(config.parityCode, 255));
    addValue(app, "--stop-a", numberInto(config.stopCheckA, 255));
    addValue(app, "--stop-b", numberInto(config.stopCheckB, 255));
    addValue(app, "--turnaround", numberInto(config.turnaroundMs, 60000));
    addValue(app, "--line", [&options](const std::string& text) {
        return parseAddressList(text, false, options.lineAddresses);
    });
    addValue(app, "--line-turnaround", [&options](const std::string& text) {
        return parseAddressList(text, true, options.lineTurnarounds);
    });
    addFlag(app, "--line-rate", [&config] { config.lineRate = true; });
    addFlag(app, "-v,--verbose", [&options] { options.verbose = true; });
    addFlag(app, "-h,--help", [] { throw CLI::CallForHelp(); });
}

// What no single option can check: a line's options against the others.
int checkLine(const SimOptions& options)
{
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
int parseOptions(int argc, char** argv, SimOptions& options)
{
    CLI::App app{"Serves a software air-velocity transmitter, or a line of them, on a pseudo-terminal", "ventora-sim"};
    app.set_help_flag();
    addOptions(app, options);
    try {
        app.parse(argc, argv);
        rejectUnknown(app);
    } catch (const CLI::CallForHelp&) {
        printUsage(stdout);
        return 0;
    } catch (const CLI::ExtrasError&) {
        std::fprintf(stderr, "ventora-sim: unknown option %s\n", app.remaining().front().c_str());
        printUsage(stderr);
        return 2;
    } catch (const CLI::ArgumentMismatch&) {
        // Only the last word can go without its value.
        const std::string option = argv[argc - 1];
        std::fprintf(stderr, "ventora-sim: %s needs a value\n", option.substr(0, option.find('=')).c_str());
        return 2;
    } catch (const CLI::ValidationError& e) {
        std::fprintf(stderr, "ventora-sim: bad value for %s\n", e.what());
        return 2;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "ventora-sim: %s\n", e.what());
        return 2;
    }
    return checkLine(options);
}

} // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    if (const int status = parseOptions(argc, argv, options); status >= 0)
        return status;
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
    std::printf("ventora-sim: serving %s transmitter (address %u, %u bit/s) on %s\n",
                config.dialect == sim::Dialect::Fd ? "FD" : "Modbus",
                static_cast<unsigned>(config.address), static_cast<unsigned>(config.baud),
                transmitter.slavePath().c_str());
    std::fflush(stdout);

    serveUntilStopped(transmitter, stopSignals, options.verbose);
    return 0;
}
