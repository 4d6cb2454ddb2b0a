#pragma once
// The command line of ventora-cli, parsed and range-checked before anything
// is sent.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/device.h"
#include "cli/mqtt_topics.h"
#include "cli/numbers.h"

// Long enough for a transmitter that takes 200 ms to start answering, short
// enough that a whole detection round with nothing attached (four attempts)
// stays under one second.
inline constexpr int kDefaultTimeoutMs = 220;
// Opening a port on a device server (name lookup, connecting, Telnet
// negotiation and line settings together) may take this long, or -t if that is
// longer: a few round trips fit many times over on any working network, and a
// dead name server's own retries (5 s and more) are not waited for.
inline constexpr int kNetworkOpenTimeoutMs = 2000;
// A scan waits this long for each address: long enough for a transmitter that
// takes 45 ms to answer, even at 2400 bit/s where its first byte needs 4 ms
// more, while a whole scan of 255 addresses at 9600 stays near 17 s.
inline constexpr int kDefaultScanTimeoutMs = 60;

enum class Command : std::uint8_t { Ports, Detect, Read, Watch, Get, Set, Commission, Scan };
enum class Field : std::uint8_t { Address, Baud, Area };

struct Options {
    std::string port = "COM1";
    std::optional<std::int32_t> baud;
    std::optional<Dialect> dialect;
    std::optional<std::uint8_t> address; // when one address was given
    std::vector<std::uint8_t> addresses; // every address given, in order
    int timeoutMs = kDefaultTimeoutMs;   // kDefaultScanTimeoutMs for scan, unless given
    bool json = false;
    bool verbose = false;
    bool rs485 = false;                          // the kernel's RS-485 mode (Windows: RTS toggled while sending)
    EchoKnowledge echo = EchoKnowledge::Unknown; // --echo: auto (learn it), on or off

    Command command = Command::Detect;

    // watch
    int intervalMs = 1000;
    std::optional<unsigned> count;
    std::string csvPath;
    std::optional<MqttTarget> mqtt; // --mqtt, with --mqtt-line, --mqtt-password-file and --ha-discovery
    bool rest = true;               // a transmitter that stops answering is read less often (--no-rest: not)

    // get, set
    Field field = Field::Address;
    std::uint32_t value = 0;

    // scan
    std::uint8_t scanFrom = 1;
    std::uint8_t scanTo = 255;

    // commission
    std::uint8_t firstAddress = 0;
    std::optional<std::int32_t> newBaud;
    std::optional<std::uint16_t> newArea;
    unsigned transmitters = 1;
    std::string logPath;

    // set baud, commission --baud: sent even where the rate is a device server's own
    bool force = false;
};

// Whether port names a line behind a device server whose serial rate is its
// own (tcp://, modbus-tcp://), out of reach of the line settings.
bool rateIsTheServers(const std::string& port);

// One parse of argv, with the file of --config read or (fromFile false) only
// taken as a name; parseOptions' return and output.
int parseCommandLine(const std::vector<std::string>& args, Options& options, bool fromFile, std::ostream& out,
                     std::ostream& err);

// parseCommandLine, with a fault in the file of --config said with the file's
// name.
int parseNamingTheFile(const std::vector<std::string>& args, Options& options, std::ostream& out, std::ostream& err);

// Parses argv into options, and the file of --config FILE with it; a fault in
// the file is said with the file's name; with --json a refusal also ends out
// with its JSON error object. Returns -1 when the command should run; otherwise
// the exit status, with --help or --version text written to out (0), or the
// complaint written to err (2).
int parseOptions(const std::vector<std::string>& args, Options& options, std::ostream& out, std::ostream& err);
