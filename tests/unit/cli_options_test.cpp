#include "cli/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <sstream>

#include "cli/mqtt_publisher.h"
#include "tests/support/test_folder.h"

namespace {

struct OptionsCase {
    const char* name;
    std::vector<std::string> args;
    int status; // -1: the command runs
    void (*check)(const Options&) = nullptr;
    const char* says = ""; // a refusal names what was wrong
    friend void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.name; }
};

class ParseOptionsTest : public testing::TestWithParam<OptionsCase> {};

TEST_P(ParseOptionsTest, StatusAndFields) {
    const OptionsCase& c = GetParam();
    Options options;
    std::ostringstream out, err;
    EXPECT_EQ(parseOptions(c.args, options, out, err), c.status) << err.str();
    if (c.status == 2) {
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        EXPECT_FALSE(err.str().empty()) << "a refusal says why";
        if (std::find(c.args.begin(), c.args.end(), "--json") != c.args.end()) {
            EXPECT_TRUE(out.str().starts_with(R"({"error":")") && out.str().ends_with("\"status\":2}\n"))
                << "a script reading stdout sees why: " << out.str();
        }
    }
    if (c.check != nullptr) c.check(options);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParseOptionsTest,
    testing::Values(OptionsCase{"DefaultsToCom1AndDetection",
                                {"detect"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.port, "COM1");
                                    EXPECT_EQ(o.command, Command::Detect);
                                    EXPECT_FALSE(o.baud);
                                    EXPECT_LE(o.timeoutMs, 500);
                                    EXPECT_EQ(o.echo, EchoKnowledge::Unknown);
                                }},
                    OptionsCase{"EchoSaidOutright",
                                {"read", "--echo", "off"},
                                -1,
                                [](const Options& o) { EXPECT_EQ(o.echo, EchoKnowledge::Plain); }},
                    OptionsCase{"EchoOnlyAutoOnOrOff", {"--echo", "yes", "detect"}, 2},
                    OptionsCase{"GlobalOptionsAfterTheCommand",
                                {"read", "--json", "-p", "/dev/ttyUSB0"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_TRUE(o.json);
                                    EXPECT_EQ(o.port, "/dev/ttyUSB0");
                                }},
                    OptionsCase{"BaudWithDialectSkipsDetection",
                                {"-b", "4800", "-d", "fd", "-a", "7", "read"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(*o.baud, 4800);
                                    EXPECT_EQ(*o.dialect, Dialect::Fd);
                                    EXPECT_EQ(*o.address, 7);
                                }},
                    OptionsCase{"ModbusTakesTheFullRateTable", {"-b", "38400", "-d", "modbus", "read"}, -1},
                    OptionsCase{"BaudWithoutDialect", {"-b", "9600", "read"}, 2},
                    OptionsCase{"DialectWithoutBaud", {"-d", "fd", "read"}, 2},
                    OptionsCase{"FdHasNo19200", {"-b", "19200", "-d", "fd", "read"}, 2},
                    OptionsCase{"UnknownDialect", {"-b", "9600", "-d", "rtu", "read"}, 2},
                    OptionsCase{"AddressZero", {"-a", "0", "read"}, 2},
                    OptionsCase{"Address256", {"-a", "256", "read"}, 2},
                    OptionsCase{"AddressInModbus", {"-b", "9600", "-d", "modbus", "-a", "3", "read"}, 2},
                    OptionsCase{"NoCommand", {}, 2},
                    OptionsCase{"UnknownCommand", {"flash"}, 2, nullptr, "\"flash\" is not a command"},
                    OptionsCase{"MistypedCommand", {"detec"}, 2, nullptr, "did you mean detect?"},
                    OptionsCase{"OptionOfAnotherCommand", {"read", "--csv", "x.csv"}, 2, nullptr, "--csv belongs to watch"},
                    OptionsCase{"RefusedWithJson", {"--json", "get", "speed"}, 2, nullptr, "speed not in {address,baud,area}"},
                    OptionsCase{"GetNeedsASetting", {"get"}, 2},
                    OptionsCase{"GetUnknownSetting", {"get", "parity"}, 2, nullptr, "parity not in {address,baud,area}"},
                    OptionsCase{"SetAddress255",
                                {"set", "address", "255"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.field, Field::Address);
                                    EXPECT_EQ(o.value, 255u);
                                }},
                    OptionsCase{"SetAddress0", {"set", "address", "0"}, 2},
                    OptionsCase{"SetAddressNotANumber", {"set", "address", "12a"}, 2},
                    OptionsCase{"SetBaudOfNeitherTable", {"set", "baud", "57600"}, 2},
                    OptionsCase{"SetBaud1200BeforeDetection", {"set", "baud", "1200"}, 2},
                    OptionsCase{"SetBaud1200InFd", {"-b", "9600", "-d", "fd", "set", "baud", "1200"}, 2},
                    OptionsCase{"SetArea65535", {"set", "area", "65535"}, -1},
                    OptionsCase{"SetArea65536", {"set", "area", "65536"}, 2},
                    OptionsCase{"SetAreaNegative", {"set", "area", "-1"}, 2},
                    OptionsCase{"AreaInModbus", {"-b", "9600", "-d", "modbus", "get", "area"}, 2},
                    OptionsCase{"TimeoutZero", {"-t", "0", "read"}, 2},
                    OptionsCase{"NetworkPort",
                                {"-p", "rfc2217://bus-3.plant:7301", "read"},
                                -1,
                                [](const Options& o) { EXPECT_EQ(o.port, "rfc2217://bus-3.plant:7301"); }},
                    OptionsCase{"NetworkPortWithoutTcpPort", {"-p", "rfc2217://bus-3.plant", "read"}, 2},
                    OptionsCase{"NetworkPortOutOfRange", {"-p", "rfc2217://10.0.0.5:65536", "read"}, 2},
                    OptionsCase{"Rs485OnANetworkPort", {"-p", "rfc2217://bus-3.plant:7301", "--rs485", "read"}, 2},
                    OptionsCase{"WatchCountAndInterval",
                                {"watch", "--count", "3", "--interval", "50", "--csv", "w.csv"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.command, Command::Watch);
                                    EXPECT_EQ(*o.count, 3u);
                                    EXPECT_EQ(o.intervalMs, 50);
                                    EXPECT_EQ(o.csvPath, "w.csv");
                                }},
                    OptionsCase{"WatchCountZero", {"watch", "--count", "0"}, 2},
                    OptionsCase{"CommissionNeedsAnAddress", {"commission"}, 2},
                    OptionsCase{"CommissionAll",
                                {"commission", "--address", "10", "--baud", "4800", "--area", "300", "--count", "3",
                                 "--log", "c.csv"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.firstAddress, 10);
                                    EXPECT_EQ(*o.newBaud, 4800);
                                    EXPECT_EQ(*o.newArea, 300);
                                    EXPECT_EQ(o.transmitters, 3u);
                                    EXPECT_EQ(o.logPath, "c.csv");
                                }},
                    OptionsCase{"CommissionPast255", {"commission", "--address", "254", "--count", "3"}, 2},
                    OptionsCase{"CommissionBadBaud", {"commission", "--address", "1", "--baud", "1234"}, 2},
                    OptionsCase{"WatchAddressList",
                                {"-b", "9600", "-d", "fd", "-a", "3,10-12,200", "watch"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{3, 10, 11, 12, 200}));
                                    EXPECT_FALSE(o.address) << "a list is not one transmitter";
                                }},
                    OptionsCase{"ListKeepsTheGivenOrder",
                                {"-a", "77,3", "watch"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{77, 3}));
                                }},
                    OptionsCase{"ListWithAddress0", {"-a", "0,3", "watch"}, 2},
                    OptionsCase{"ListWithAddress256", {"-a", "3,256", "watch"}, 2},
                    OptionsCase{"ListRangeBackwards", {"-a", "14-10", "watch"}, 2},
                    OptionsCase{"ListAddressTwice", {"-a", "3,1-5", "watch"}, 2},
                    OptionsCase{"ListEmptyItem", {"-a", "3,,4", "watch"}, 2},
                    OptionsCase{"ListTrailingComma", {"-a", "3,", "watch"}, 2},
                    OptionsCase{"ListOpenRange", {"-a", "3-", "watch"}, 2},
                    OptionsCase{"ReadRefusesAList", {"-a", "3,4", "read"}, 2},
                    OptionsCase{"SetRefusesAList", {"-a", "3-4", "set", "area", "5"}, 2},
                    OptionsCase{"ScanDefaults",
                                {"scan"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.command, Command::Scan);
                                    EXPECT_EQ(o.scanFrom, 1);
                                    EXPECT_EQ(o.scanTo, 255);
                                    EXPECT_LE(o.timeoutMs, 100) << "a scan waits briefly at each address";
                                }},
                    OptionsCase{"ScanKeepsAGivenTimeout",
                                {"-t", "30", "scan", "--from", "5", "--to", "5"},
                                -1,
                                [](const Options& o) {
                                    EXPECT_EQ(o.timeoutMs, 30);
                                    EXPECT_EQ(o.scanFrom, 5);
                                }},
                    OptionsCase{"ScanFromAboveTo", {"scan", "--from", "9", "--to", "8"}, 2},
                    OptionsCase{"ScanTo256", {"scan", "--to", "256"}, 2},
                    OptionsCase{"ScanFrom0", {"scan", "--from", "0"}, 2},
                    OptionsCase{"ScanModbus", {"-b", "9600", "-d", "modbus", "scan"}, 2},
                    OptionsCase{"CommissionBaudNoDialectSets", {"commission", "--address", "5", "--baud", "19200"}, 2},
                    OptionsCase{"SetBaudModbus4800", {"-b", "9600", "-d", "modbus", "set", "baud", "4800"}, -1},
                    OptionsCase{"ReachModbusAt19200", {"-b", "19200", "-d", "modbus", "read"}, -1},
                    OptionsCase{"Help", {"--help"}, 0}, OptionsCase{"Version", {"--version"}, 0}));
// clang-format on

// Every number the tool takes is decimal digits and nothing else: a leading
// zero is not octal, and nothing is read up to the first odd character.
TEST(ParseOptions, NumbersAreDecimalDigitsOnly) {
    using Field = std::uint32_t (*)(const Options&);
    const Field value = [](const Options& o) { return o.value; };
    struct Row {
        std::vector<std::string> args;
        Field field; // null: refused
        std::uint32_t expected = 0;
    };
    // clang-format off
    const Row rows[] = {
        {{"set", "area", "0450"}, value, 450},
        {{"commission", "--address", "010"}, [](const Options& o) { return std::uint32_t(o.firstAddress); }, 10},
        {{"watch", "--count", "010"}, [](const Options& o) { return o.count.value_or(0); }, 10},
        {{"-a", "010", "read"}, [](const Options& o) { return std::uint32_t(o.address.value_or(0)); }, 10},
        {{"set", "area", "0x1C2"}, nullptr}, {{"set", "area", "45.6"}, nullptr}, {{"set", "area", "1e3"}, nullptr},
        {{"set", "area", "450abc"}, nullptr}, {{"set", "area", "+450"}, nullptr}, {{"set", "area", "99999999999"}, nullptr},
        {{"watch", "--count", " 5"}, nullptr}, {{"-a", "0x0A", "read"}, nullptr}, {{"-b", "9600x", "-d", "fd", "read"}, nullptr},
    };
    // clang-format on
    for (const Row& row : rows) {
        Options o;
        std::ostringstream out, err;
        const int status = parseOptions(row.args, o, out, err);
        EXPECT_EQ(status, row.field ? -1 : 2) << row.args.back() << ": " << err.str();
        if (row.field && status == -1) {
            EXPECT_EQ(row.field(o), row.expected) << row.args.back();
        }
    }
}

// Where the build leaves MQTT out, every --mqtt is refused, saying so.
INSTANTIATE_TEST_SUITE_P(
    Mqtt, ParseOptionsTest,
    testing::Values(
        OptionsCase{"LineIsThePortsNameByDefault",
                    {"-p", "/dev/ttyUSB0", "watch", "--mqtt", "mqtt://b"},
                    mqttBuilt() ? -1 : 2,
                    [](const Options& o) {
                        EXPECT_EQ(o.mqtt ? o.mqtt->statusTopic() : "", mqttBuilt() ? "ventora/ttyUSB0/status" : "");
                    }},
        OptionsCase{"LineAndDiscoveryGiven",
                    {"watch", "--mqtt", "mqtt://b/site", "--mqtt-line", "hall-2", "--ha-discovery"},
                    mqttBuilt() ? -1 : 2,
                    [](const Options& o) {
                        if (o.mqtt) {
                            EXPECT_EQ(o.mqtt->stateTopic(3), "site/hall-2/3/state");
                            EXPECT_TRUE(o.mqtt->haDiscovery);
                        }
                    }},
        OptionsCase{"LineOfTwoLevels", {"watch", "--mqtt", "mqtt://b", "--mqtt-line", "a/b"}, 2},
        OptionsCase{"LineEmpty",
                    {"watch", "--mqtt", "mqtt://b", "--mqtt-line", ""},
                    2,
                    nullptr,
                    mqttBuilt() ? "not empty" : ""},
        OptionsCase{"NotAnMqttUrl", {"watch", "--mqtt", "tcp://b"}, 2},
        OptionsCase{"DiscoveryWithoutMqtt", {"watch", "--ha-discovery"}, 2},
        OptionsCase{"CommandsWithoutMqtt", {"watch", "--mqtt-commands"}, 2},
        OptionsCase{"HaPrefixWithoutDiscovery", {"watch", "--mqtt", "mqtt://b", "--ha-prefix", "ha"}, 2},
        OptionsCase{"PasswordFileWithoutUser", {"watch", "--mqtt", "mqtt://b", "--mqtt-password-file", "f"}, 2},
        OptionsCase{
            "PasswordFileMissing", {"watch", "--mqtt", "mqtt://u@b", "--mqtt-password-file", "/nonexistent"}, 2}));

// What a device server or gateway cannot carry is refused before anything is sent.
INSTANTIATE_TEST_SUITE_P(
    NetworkPorts, ParseOptionsTest,
    testing::Values(OptionsCase{"UnknownSchemeIsNoDevicePath", {"-p", "telnet://bus-3.plant:7301", "read"}, 2},
                    OptionsCase{"RateStatedForARawServer", {"-p", "tcp://10.0.0.5:4001", "-b", "9600", "detect"}, -1},
                    OptionsCase{"FdThroughAGateway", {"-p", "modbus-tcp://gw", "-b", "9600", "-d", "fd", "read"}, 2},
                    OptionsCase{"ScanThroughAGateway", {"-p", "modbus-tcp://gw", "scan"}, 2},
                    OptionsCase{"BaudBehindARawServer", {"-p", "tcp://10.0.0.5:4001", "set", "baud", "4800"}, 2},
                    OptionsCase{"CommissionBaudBehindAGateway",
                                {"-p", "modbus-tcp://gw", "commission", "--address", "5", "--baud", "19200"},
                                2},
                    OptionsCase{"BaudForcedBehindARawServer",
                                {"-p", "tcp://10.0.0.5:4001", "set", "baud", "4800", "--force"},
                                -1}));

TEST(ParseOptions, MqttPasswordFromItsFirstLine) {
    if (!mqttBuilt()) GTEST_SKIP() << "this build has no MQTT";
    const TestFolder folder;
    const std::string path = folder / "mqtt-password";
    std::ofstream(path) << "s3cret\r\nsecond line\n";
    Options o;
    std::ostringstream out, err;
    ASSERT_EQ(parseOptions({"watch", "--mqtt", "mqtt://ann:url@b", "--mqtt-password-file", path}, o, out, err), -1);
    EXPECT_EQ(o.mqtt->password, "s3cret") << "the file's password wins over the URL's";
}

// --config FILE: the file holds what the command line may, the command line wins.
struct ConfigCase {
    const char* name;
    const char* file; // nullptr: no such file
    std::vector<std::string> args;
    int status;
    const char* said; // what the refusal says after the file's name
    void (*check)(const Options&) = nullptr;
    friend void PrintTo(const ConfigCase& c, std::ostream* os) { *os << c.name; }
};

class ConfigFileTest : public testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigFileTest, StatusAndFields) {
    const ConfigCase& c = GetParam();
    const std::string path = testing::TempDir() + c.name + ".conf";
    if (c.file != nullptr) std::ofstream(path) << c.file;
    std::vector<std::string> args = {"--config", path};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Options options;
    std::ostringstream out, err;
    EXPECT_EQ(parseOptions(args, options, out, err), c.status) << err.str();
    if (c.status == 2) {
        EXPECT_TRUE(err.str().starts_with("ventora-cli: " + path + ": " + c.said)) << err.str();
    }
    if (c.check != nullptr) c.check(options);
}

constexpr const char* kLine = R"(# a line of three
port = "/dev/serial/by-id/usb-FTDI-if00-port0"
baud = 9600
dialect = "fd"
address = "3,77,200"
[watch]
interval = 5000
csv = "/var/lib/ventora/ahu-2/readings.csv"
no-rest = true
)";

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigFileTest,
    testing::Values(ConfigCase{"Line",
                               kLine,
                               {"watch"},
                               -1,
                               "",
                               [](const Options& o) {
                                   EXPECT_EQ(o.port, "/dev/serial/by-id/usb-FTDI-if00-port0");
                                   EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{3, 77, 200}));
                                   EXPECT_EQ(o.intervalMs, 5000);
                                   EXPECT_EQ(o.csvPath, "/var/lib/ventora/ahu-2/readings.csv");
                                   EXPECT_FALSE(o.rest);
                               }},
                    ConfigCase{"CommandLineWins",
                               kLine,
                               {"-a", "3", "watch", "--interval", "50"},
                               -1,
                               "",
                               [](const Options& o) {
                                   EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{3}));
                                   EXPECT_EQ(o.intervalMs, 50);
                                   EXPECT_EQ(o.baud, 9600);
                               }},
                    ConfigCase{"UnknownKey", "[watch]\nintervall = 5\n", {"watch"}, 2, "unknown key watch.intervall"},
                    ConfigCase{"BadValue", "[watch]\ninterval = \"soon\"\n", {"watch"}, 2, "--interval: "},
                    ConfigCase{
                        "ValueTheChecksRefuse", "baud = 9600\n", {"read"}, 2, "--baud and --dialect go together"},
                    ConfigCase{"Unreadable", nullptr, {"watch"}, 2, "cannot be read"}),
    [](const testing::TestParamInfo<ConfigCase>& info) { return info.param.name; });

} // namespace
