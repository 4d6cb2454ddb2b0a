#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string_view>

#include "cli/mqtt_publisher.h"
#include "cli/output.h"
#include "cli/usage_refusals.h"
#include "serial/net/port_url.h"

#ifndef VENTORA_VERSION
#error "VENTORA_VERSION comes from the project's version in CMake"
#endif

namespace {

constexpr const char* kCommands = R"(Commands:
  ports                          the serial devices present: COMn, device path, by-id name,
                                 USB adapter and latency timer
  detect                         find the baud rate and dialect (FD at 2400, 4800, 9600, then Modbus at
                                 9600, 4800, 2400)
  read                           one measurement: velocity (m/s) and volume (m3/h)
  watch [--interval MS] [--count N] [--csv FILE]
        [--mqtt URL [--mqtt-line NAME] [--mqtt-password-file FILE] [--ha-discovery [--ha-prefix P]]
                    [--mqtt-commands]] [--no-rest]
                                 repeated measurements until N rounds are taken or SIGINT/SIGTERM,
                                 then a min/mean/max summary on stderr; with -a LIST, each
                                 transmitter of a line in turn; on a terminal, a live table;
                                 with --mqtt, each reading also to an MQTT broker as
                                 PREFIX/LINE/ADDRESS/state (URL: mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX])
                                 a transmitter that misses 3 rounds rests: read every 2nd,
                                 4th, ... round, at least once a minute (--no-rest: every round)
  scan [--from A] [--to B]       every transmitter that answers on a line, address by address
                                 (default 1 to 255; -t defaults to 60 ms per address here)
  get address|baud|area          read one setting
  set address N | set baud N | set area N
                                 change one setting, then read it back and verify it; an address
                                 or baud write needs the transmitter alone on the port; baud 2400,
                                 4800 or 9600
  commission --address N [--baud B] [--area A] [--count K] [--log FILE]
                                 give transmitters plugged in one after another the addresses
                                 N, N+1, ..., set their baud rate and area, and log each one

Exit status: 0 success, 2 bad usage or a value out of range (nothing sent),
3 the port could not be opened, 4 no transmitter answered (or another than -a names),
5 a reply was refused or invalid, a read-back did not match, or more than one
transmitter answered before an address or baud write; 130 or 143 detect, read,
scan or commission stopped by SIGINT or SIGTERM.

Numbers are decimal digits only: 010 is ten.

Addresses (-a) may be a list for watch: 3,77,200 or 10-14 or 3,10-14.
--config FILE reads any option from FILE (TOML/INI, long names as keys, [watch]
for the watch's); the command line overrides it.
)";

bool complain(std::ostream& err, const std::string& text) {
    err << "ventora-cli: " << text << "\n";
    return false;
}

// Ranges that depend on more than one option.
bool checkCombination(Options& o, const std::string& dialectText, std::ostream& err) {
    if (!dialectText.empty()) o.dialect = dialectText == "fd" ? Dialect::Fd : Dialect::Modbus;
    // Behind a device server -b may state the server's rate for the report alone.
    if (o.baud.has_value() != o.dialect.has_value() && !(o.baud && rateIsTheServers(o.port)))
        return complain(err, "--baud and --dialect go together: give both, or neither to detect them");
    if (o.baud && !baudAllowed(*o.dialect, *o.baud))
        return complain(err, "--baud " + std::to_string(*o.baud) + " is not a rate of the " + dialectName(*o.dialect) +
                                 " dialect");
    if (!o.addresses.empty() && o.dialect == Dialect::Modbus)
        return complain(err, "--address applies to the FD dialect; Modbus-dialect frames all go to address 255");

    const bool modbus = o.dialect == Dialect::Modbus;
    const auto checkBaud = [&](std::int32_t baud) {
        const std::string refusal = rateRefusal(o.dialect, baud);
        return refusal.empty() || complain(err, refusal);
    };
    if (o.command == Command::Get || o.command == Command::Set) {
        if (o.field == Field::Area && modbus) return complain(err, kNoModbusArea);
    }
    if (o.command == Command::Set) {
        switch (o.field) {
        case Field::Address:
            if (o.value < 1 || o.value > 255) return complain(err, "address must be 1 to 255");
            break;
        case Field::Baud:
            if (!checkBaud(std::int32_t(o.value))) return false;
            break;
        case Field::Area:
            if (o.value > 65535) return complain(err, "area must be 0 to 65535 cm2");
            break;
        }
    }
    if (o.command == Command::Commission && o.newBaud && !checkBaud(*o.newBaud)) return false;
    return true;
}

// What CLI11 fills in before the checks make Options of it.
struct Given {
    std::string dialectText;
    std::string echoText = "auto";
    std::string addressText;
    unsigned count = 0;
    int scanFrom = 1;
    int scanTo = 255;
    int firstAddress = 0;
    int newArea = -1;
    std::string mqttUrl;
    std::string mqttLine;
    std::string mqttPasswordFile;
    bool haDiscovery = false;
    std::string haPrefix;
    bool mqttCommands = false;
    bool noRest = false;
    std::string configPath;
    CLI::Option* addressOption = nullptr;
    CLI::Option* timeoutOption = nullptr;
    CLI::Option* countOption = nullptr;
    CLI::Option* mqttLineOption = nullptr;
};

void addGlobalOptions(CLI::App& app, Options& o, Given& given) {
    app.add_option("-p,--port", o.port,
                   "COMn, a device path (/dev/ttyUSB0, /dev/serial/by-id/...), or a line behind a device server or "
                   "gateway: rfc2217://HOST:PORT, tcp://HOST:PORT or modbus-tcp://HOST[:PORT]")
        ->capture_default_str();
    app.add_option("-b,--baud", o.baud, "the transmitter's baud rate; with --dialect, skips detection");
    app.add_option("-d,--dialect", given.dialectText, "fd or modbus")->check(CLI::IsMember({"fd", "modbus"}));
    given.addressOption =
        app.add_option("-a,--address", given.addressText,
                       "FD dialect: the transmitter's address (without it, one identity query learns it); "
                       "for watch, a list such as 3,77,200 or 10-14");
    given.timeoutOption = app.add_option("-t,--timeout", o.timeoutMs, "how long to wait for a reply to start, in ms")
                              ->check(CLI::Range(1, 10000))
                              ->capture_default_str();
    app.add_flag("--json", o.json, "one JSON object per result line, on stdout");
    app.add_flag("-v,--verbose", o.verbose, "every frame sent and received, in hex with a timestamp, on stderr");
    app.add_option("--echo", given.echoText,
                   "whether the adapter hands every request back before the reply: auto (learn it), on or off")
        ->check(CLI::IsMember({"auto", "on", "off"}))
        ->capture_default_str();
}

// How the adapter is driven, beyond the line settings.
void addAdapterOptions(CLI::App& app, Options& o) {
    app.add_flag("--rs485", o.rs485,
                 "RS-485 mode: the UART turns the transceiver round itself (RTS while sending), "
                 "for UART boards and hats");
}

// A device server drives its own line; the wish cannot reach it.
bool takeRs485(const Options& o, std::ostream& err) {
    return !o.rs485 || !isNetworkPortName(o.port) ||
           complain(err, "--rs485 applies to a serial device on this computer; a device server's RS-485 mode is "
                         "set in its own configuration");
}

// What a watch that runs unattended adds: resting, and the dashboard's side.
void addServiceOptions(CLI::App& watch, Given& given) {
    watch.add_option("--ha-prefix", given.haPrefix, "Home Assistant's discovery prefix (default homeassistant)");
    watch.add_flag("--mqtt-commands", given.mqttCommands,
                   "take duct areas from PREFIX/LINE/ADDRESS/area/set (give the broker users and an ACL first)");
    watch.add_flag("--no-rest", given.noRest, "read every transmitter every round, even one that stopped answering");
}

// --config FILE: options from a file, CLI11's TOML/INI with the long names
// as keys and [watch] for the watch's; the command line wins. An unknown key
// is an error, as an unknown option is.
void addConfigFile(CLI::App& app, Given& given, bool fromFile) {
    if (fromFile) {
        app.set_config("--config", "", "read options from this file; the command line overrides it")
            ->each([&given](const std::string& path) { given.configPath = path; });
        app.allow_config_extras(CLI::config_extras_mode::error);
    } else {
        app.add_option("--config", given.configPath);
    }
}

// The commands are listed in the footer, with their arguments.
void addReadingCommands(CLI::App& app, Options& o, Given& given) {
    app.add_subcommand("ports", "the serial devices present")->group("")->callback([&] { o.command = Command::Ports; });
    app.add_subcommand("detect", "find the baud rate and dialect")->group("")->callback([&] {
        o.command = Command::Detect;
    });
    app.add_subcommand("read", "one measurement")->group("")->callback([&] { o.command = Command::Read; });

    auto* watch = app.add_subcommand("watch", "repeated measurements");
    watch->add_option("--interval", o.intervalMs, "time between rounds of readings, in ms")
        ->check(CLI::Range(0, 86'400'000))
        ->capture_default_str();
    given.countOption = watch->add_option("--count", given.count, "stop after N rounds of readings")
                            ->check(CLI::Range(1u, 1'000'000'000u));
    watch->add_option("--csv", o.csvPath, "also append each reading to this CSV file");
    watch->add_option("--mqtt", given.mqttUrl, "also publish each reading to this MQTT broker");
    given.mqttLineOption =
        watch->add_option("--mqtt-line", given.mqttLine, "the line's topic level (default: the port's name)");
    watch->add_option("--mqtt-password-file", given.mqttPasswordFile,
                      "the broker's password, from the first line of this file");
    watch->add_flag("--ha-discovery", given.haDiscovery, "announce the transmitters to Home Assistant");
    addServiceOptions(*watch, given);
    watch->group("");
    watch->callback([&] { o.command = Command::Watch; });
}

void addSettingCommands(CLI::App& app, Options& o) {
    auto* get = app.add_subcommand("get", "read one setting");
    auto* set = app.add_subcommand("set", "change one setting and verify it");
    // Taken as a word: CLI11 would show a one-byte enum's values as characters.
    const auto takeField = [&o](const std::string& word) {
        o.field = word == "address" ? Field::Address : word == "baud" ? Field::Baud : Field::Area;
    };
    for (CLI::App* command : {get, set})
        command->add_option_function<std::string>("setting", takeField, "address, baud or area")
            ->required()
            ->check(CLI::IsMember({"address", "baud", "area"}));
    get->group("");
    get->callback([&] { o.command = Command::Get; });

    set->add_option("value", o.value, "the new value")->required();
    set->add_flag("--force", o.force, "behind a device server, send a new baud rate that the server does not speak");
    set->group("");
    set->callback([&] { o.command = Command::Set; });
}

void addScan(CLI::App& app, Options& o, Given& given) {
    auto* scan = app.add_subcommand("scan", "find every transmitter on a line");
    scan->add_option("--from", given.scanFrom, "the first address to probe")
        ->check(CLI::Range(1, 255))
        ->capture_default_str();
    scan->add_option("--to", given.scanTo, "the last address to probe")
        ->check(CLI::Range(1, 255))
        ->capture_default_str();
    scan->group("");
    scan->callback([&] { o.command = Command::Scan; });
}

void addCommission(CLI::App& app, Options& o, Given& given) {
    auto* commission = app.add_subcommand("commission", "address, set up and log transmitters one after another");
    commission->add_option("--address", given.firstAddress, "the address for the first transmitter")
        ->required()
        ->check(CLI::Range(1, 255));
    commission->add_option("--baud", o.newBaud, "the baud rate to give each transmitter");
    commission->add_option("--area", given.newArea, "the duct area to give each transmitter, cm2")
        ->check(CLI::Range(0, 65535));
    commission->add_option("--count", o.transmitters, "how many transmitters (default 1)")->check(CLI::Range(1u, 255u));
    commission->add_option("--log", o.logPath, "append one CSV row per transmitter to this file");
    commission->add_flag("--force", o.force, "behind a device server, send --baud though the server does not speak it");
    commission->group("");
    commission->callback([&] { o.command = Command::Commission; });
}

} // namespace

bool rateIsTheServers(const std::string& port) {
    NetworkEndpoint endpoint;
    return parseNetworkPortName(port, endpoint) && rateIsTheServers(endpoint.scheme);
}

namespace {

// -a as a list (one address is also the transmitter's), and the port's name.
bool takeTarget(Options& o, const Given& given, std::ostream& err) {
    if (given.addressOption->count() > 0) {
        std::string error;
        if (!parseAddressList(given.addressText, o.addresses, error)) return complain(err, "--address: " + error);
        if (o.addresses.size() == 1) o.address = o.addresses.front();
    }
    if (o.addresses.size() > 1 && o.command != Command::Watch)
        return complain(err, "an address list works with watch only; this command takes one transmitter");
    NetworkEndpoint endpoint;
    if (isNetworkPortName(o.port) && !parseNetworkPortName(o.port, endpoint))
        return complain(err, "--port " + o.port + ": a network port is " + kNetworkPortForms);
    return true;
}

// What a device server or gateway cannot carry, refused before anything is sent.
bool takeNetworkPort(const Options& o, const std::string& dialectText, std::ostream& err) {
    NetworkEndpoint endpoint;
    if (!parseNetworkPortName(o.port, endpoint)) return true;
    const bool fd = dialectText == "fd" || o.command == Command::Scan;
    if (endpoint.scheme == NetworkScheme::ModbusTcp && fd)
        return complain(err, "--port " + o.port +
                                 ": FD frames do not pass a Modbus TCP gateway, which carries the Modbus dialect only; "
                                 "tcp:// or rfc2217:// will carry them");
    const bool movesRate = (o.command == Command::Set && o.field == Field::Baud) ||
                           (o.command == Command::Commission && o.newBaud.has_value());
    if (rateIsTheServers(endpoint.scheme) && movesRate && !o.force)
        return complain(err, "--port " + o.port +
                                 ": the serial rate is the device server's own and cannot be changed from here; a new "
                                 "rate would move the transmitter to one that the server does not speak. Set the "
                                 "server's rate and the transmitter's together, or add --force to send it anyway");
    return true;
}

bool takeScan(Options& o, const Given& given, std::ostream& err) {
    if (given.scanFrom > given.scanTo)
        return complain(err,
                        "--from " + std::to_string(given.scanFrom) + " is above --to " + std::to_string(given.scanTo));
    o.scanFrom = std::uint8_t(given.scanFrom);
    o.scanTo = std::uint8_t(given.scanTo);
    if (given.timeoutOption->count() == 0) o.timeoutMs = kDefaultScanTimeoutMs;
    if (o.dialect == Dialect::Modbus || given.dialectText == "modbus")
        return complain(err, "scan probes FD transmitters by address; a Modbus-dialect transmitter answers "
                             "only at 255 (use detect)");
    return true;
}

bool takeCommission(Options& o, const Given& given, std::ostream& err) {
    o.firstAddress = std::uint8_t(given.firstAddress);
    if (given.newArea >= 0) o.newArea = std::uint16_t(given.newArea);
    if (o.firstAddress + o.transmitters - 1 > 255) return complain(err, "--address plus --count runs past address 255");
    return true;
}

// --mqtt and the options that go with it.
bool takeMqtt(Options& o, const Given& given, std::ostream& err) {
    if (given.mqttUrl.empty()) {
        if (given.mqttLineOption->count() > 0 || !given.mqttPasswordFile.empty() || given.haDiscovery ||
            given.mqttCommands || !given.haPrefix.empty())
            return complain(err, "--mqtt-line, --mqtt-password-file, --ha-discovery, --ha-prefix and "
                                 "--mqtt-commands go with --mqtt");
        return true;
    }
    if (!mqttBuilt())
        return complain(err, "--mqtt: this build of ventora-cli has no MQTT (the Windows build leaves it out)");
    MqttTarget target;
    std::string error;
    if (!parseMqttUrl(given.mqttUrl, target, error)) return complain(err, "--mqtt " + given.mqttUrl + ": " + error);
    target.line = given.mqttLineOption->count() == 0 ? topicSafeName(o.port) : given.mqttLine;
    if (!topicLevelAllowed(target.line))
        return complain(err, "--mqtt-line must be one topic level: not empty, without '/', '+' or '#'");
    if (!given.mqttPasswordFile.empty()) {
        if (target.user.empty()) return complain(err, "--mqtt-password-file needs a USER@ in the --mqtt URL");
        std::ifstream file(given.mqttPasswordFile);
        if (!file || !std::getline(file, target.password))
            return complain(err, "--mqtt-password-file: cannot read " + given.mqttPasswordFile);
        if (!target.password.empty() && target.password.back() == '\r') target.password.pop_back();
    }
    target.haDiscovery = given.haDiscovery;
    if (!given.haPrefix.empty()) {
        if (!given.haDiscovery) return complain(err, "--ha-prefix goes with --ha-discovery");
        if (given.haPrefix.find_first_of("+#") != std::string::npos || given.haPrefix.front() == '/' ||
            given.haPrefix.back() == '/')
            return complain(err, "--ha-prefix must be a topic without '+', '#' or a '/' at either end");
        target.haPrefix = given.haPrefix;
    }
    // Three rounds, each as long as the interval or a round of timeouts, and
    // no less than 10 s: values grey out even when the last will is lost,
    // but not for one late reading.
    const long long round = std::max<long long>(
        o.intervalMs, static_cast<long long>(std::max<std::size_t>(o.addresses.size(), 1)) * o.timeoutMs);
    target.expireAfterSeconds = unsigned(std::clamp<long long>((3 * round + 999) / 1000, 10, 86'400));
    target.commands = given.mqttCommands;
    o.mqtt = target;
    return true;
}

// The checks CLI11 cannot make one option at a time, in the order their
// complaints take.
bool takeGiven(Options& o, const Given& given, std::ostream& err) {
    if (!takeTarget(o, given, err)) return false;
    if (!takeRs485(o, err)) return false;
    if (!takeNetworkPort(o, given.dialectText, err)) return false;
    if (given.echoText != "auto") o.echo = given.echoText == "on" ? EchoKnowledge::Echoes : EchoKnowledge::Plain;
    if (given.countOption->count() > 0) o.count = given.count;
    if (o.command == Command::Scan && !takeScan(o, given, err)) return false;
    if (o.command == Command::Commission && !takeCommission(o, given, err)) return false;
    if (!takeMqtt(o, given, err)) return false;
    o.rest = !given.noRest;
    return checkCombination(o, given.dialectText, err);
}

} // namespace

int parseCommandLine(const std::vector<std::string>& args, Options& o, bool fromFile, std::ostream& out,
                     std::ostream& err) {
    CLI::App app{"Configures RS-485 duct air-velocity transmitters: bus address, baud rate, duct area, "
                 "and live velocity and volume.",
                 "ventora-cli"};
    app.set_version_flag("--version", std::string("ventora-cli ") + VENTORA_VERSION);
    app.require_subcommand(1);
    app.footer(kCommands);
    // Subcommands take this over when they are made: the global options may
    // then follow the command too ("read --json").
    app.fallthrough();

    Given given;
    addConfigFile(app, given, fromFile);
    addGlobalOptions(app, o, given);
    addAdapterOptions(app, o);
    addReadingCommands(app, o, given);
    addSettingCommands(app, o);
    addScan(app, o, given);
    addCommission(app, o, given);
    numbersInDecimal(app);

    std::vector<const char*> argv{"ventora-cli"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::FileError&) {
        complain(err, "cannot be read");
        return int(Status::Usage);
    } catch (const CLI::ConfigError& e) {
        const std::string_view what = e.what();
        const std::string_view extras = "INI was not able to parse ";
        complain(err, what.starts_with(extras) ? "unknown key " + std::string(what.substr(extras.size())) : e.what());
        return int(Status::Usage);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e, out, err);
        complain(err, refusalText(app, e, args));
        err << "Run with --help for more information.\n";
        return int(Status::Usage);
    }
    return takeGiven(o, given, err) ? -1 : int(Status::Usage);
}

int parseOptions(const std::vector<std::string>& args, Options& o, std::ostream& out, std::ostream& err) {
    std::ostringstream said;
    const int status = parseNamingTheFile(args, o, out, said);
    err << said.str();
    // --json may be refused with the rest, or not yet read when the refusal came.
    if (status > 0 && std::find(args.begin(), args.end(), "--json") != args.end()) {
        std::string text = said.str().substr(0, said.str().find('\n'));
        if (text.starts_with("ventora-cli: ")) text.erase(0, 13);
        out << errorJson(text, status) << '\n';
    }
    return status;
}
