// The Telnet layer of a network serial port, without a socket: what goes on
// the wire for serial bytes and line settings, and what the server's stream,
// cut anywhere, means. Expected bytes are written out from RFC 854 and
// RFC 2217, not computed with the codec.

#include "serial/net/port_url.h"
#include "serial/net/telnet_codec.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ser2net's offers to a new client, as it sends them: WILL SGA, DO SGA,
// WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY, DO COM-PORT.
const Bytes kSer2netGreeting = {0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x01, 0xFF, 0xFE,
                                0x01, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x2C};
// The server's answers to 9600 8N1: SET-BAUDRATE 9600, DATASIZE 8, PARITY none, STOPSIZE 1.
const Bytes kSettingsAnswers = {0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0, 0xFF,
                                0xFA, 0x2C, 0x66, 0x08, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x67, 0x01,
                                0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x68, 0x01, 0xFF, 0xF0};

// A codec that has made its opening offers, as a port does on connecting.
TelnetCodec opened() {
    TelnetCodec codec;
    std::uint8_t out[16];
    codec.encodeOpening(out);
    return codec;
}

Bytes decodeAll(TelnetCodec& codec, const std::vector<Bytes>& segments) {
    Bytes data;
    for (const Bytes& segment : segments) {
        Bytes out(segment.size());
        out.resize(codec.decode(segment.data(), segment.size(), out.data()));
        data.insert(data.end(), out.begin(), out.end());
    }
    return data;
}

// Every way of cutting bytes into two segments, and byte by byte.
std::vector<std::vector<Bytes>> cuts(const Bytes& bytes) {
    std::vector<std::vector<Bytes>> all{{bytes}};
    for (std::size_t at = 1; at < bytes.size(); ++at)
        all.push_back({Bytes(bytes.begin(), bytes.begin() + long(at)), Bytes(bytes.begin() + long(at), bytes.end())});
    std::vector<Bytes> single;
    for (const std::uint8_t b : bytes) single.push_back({b});
    all.push_back(single);
    return all;
}

TEST(TelnetOpening, OffersBinaryAndSuppressGoAheadBothWaysAndComPortLast) {
    TelnetCodec codec;
    std::uint8_t out[16];
    const std::size_t n = codec.encodeOpening(out);
    EXPECT_EQ(Bytes(out, out + n),
              (Bytes{0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x2C}));
    EXPECT_EQ(codec.comPort(), OptionState::WantYes);
    EXPECT_EQ(codec.encodeOpening(out), 0u) << "offers pending are not repeated";
}

struct EscapeCase {
    const char* name;
    Bytes serial;
    bool binaryAgreed;
    Bytes wire;
    friend void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }
};

class TelnetEscapeTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(TelnetEscapeTest, SerialBytesToTheWireAndBack) {
    const EscapeCase& c = GetParam();
    TelnetCodec codec = opened();
    // The server agrees to BINARY both ways, or refuses it both ways.
    const Bytes answer =
        c.binaryAgreed ? Bytes{0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00} : Bytes{0xFF, 0xFE, 0x00, 0xFF, 0xFC, 0x00};
    EXPECT_TRUE(decodeAll(codec, {answer}).empty());
    Bytes wire(2 * c.serial.size());
    wire.resize(codec.encodeData(c.serial.data(), c.serial.size(), wire.data()));
    EXPECT_EQ(wire, c.wire);
    for (const std::vector<Bytes>& segments : cuts(c.wire)) {
        TelnetCodec peer = opened();
        decodeAll(peer, {answer});
        EXPECT_EQ(decodeAll(peer, segments), c.serial) << segments.size() << " segments";
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, TelnetEscapeTest,
                         testing::Values(
                             // A Modbus-dialect request: it begins with 0xFF.
                             EscapeCase{"ModbusRequestLeadingFf",
                                        {0xFF, 0x03, 0x02, 0x00, 0x00, 0x01, 0x91, 0xA8},
                                        true,
                                        {0xFF, 0xFF, 0x03, 0x02, 0x00, 0x00, 0x01, 0x91, 0xA8}},
                             EscapeCase{"RunOfFf", {0xFF, 0xFF, 0xFF}, true, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                             EscapeCase{"FdFrameUntouched",
                                        {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88},
                                        true,
                                        {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}},
                             EscapeCase{"CrStaysBareInBinary", {0x0D, 0x0A, 0x0D}, true, {0x0D, 0x0A, 0x0D}},
                             EscapeCase{
                                 "CrGetsNulWithoutBinary", {0x0D, 0x41, 0x0D}, false, {0x0D, 0x00, 0x41, 0x0D, 0x00}},
                             EscapeCase{"FfAndCrWithoutBinary", {0xFF, 0x0D}, false, {0xFF, 0xFF, 0x0D, 0x00}}));

struct NegotiationCase {
    const char* name;
    Bytes fromServer;
    Bytes answers; // what the client owes the server afterwards
    OptionState comPort;
    OptionState binaryOurs, binaryTheirs;
    friend void PrintTo(const NegotiationCase& c, std::ostream* os) { *os << c.name; }
};

class TelnetNegotiationTest : public testing::TestWithParam<NegotiationCase> {};

TEST_P(TelnetNegotiationTest, StateAndAnswersHoweverTheStreamIsCut) {
    const NegotiationCase& c = GetParam();
    for (const std::vector<Bytes>& segments : cuts(c.fromServer)) {
        TelnetCodec codec = opened();
        Bytes answers;
        for (const Bytes& segment : segments) {
            Bytes data(segment.size());
            EXPECT_EQ(codec.decode(segment.data(), segment.size(), data.data()), 0u) << "no serial data in commands";
            answers.insert(answers.end(), codec.answers(), codec.answers() + codec.answerCount());
            codec.clearAnswers();
        }
        EXPECT_EQ(answers, c.answers) << segments.size() << " segments";
        EXPECT_EQ(codec.comPort(), c.comPort);
        EXPECT_EQ(codec.ours(telnet::kBinary), c.binaryOurs);
        EXPECT_EQ(codec.theirs(telnet::kBinary), c.binaryTheirs);
    }
}

using S = OptionState;
INSTANTIATE_TEST_SUITE_P(
    Options, TelnetNegotiationTest,
    testing::Values(
        // Every offer but ECHO answers one of ours, and needs no answer back.
        NegotiationCase{"Ser2netGreeting", kSer2netGreeting, {0xFF, 0xFE, 0x01}, S::Yes, S::Yes, S::Yes},
        NegotiationCase{"ComPortRefused", {0xFF, 0xFE, 0x2C}, {}, S::No, S::WantYes, S::WantYes},
        NegotiationCase{"BinaryRefusedBothWays", {0xFF, 0xFE, 0x00, 0xFF, 0xFC, 0x00}, {}, S::WantYes, S::No, S::No},
        // An option we never asked for: refused, in the right direction.
        NegotiationCase{
            "UnknownDoGetsWont", {0xFF, 0xFD, 0x18}, {0xFF, 0xFC, 0x18}, S::WantYes, S::WantYes, S::WantYes},
        NegotiationCase{
            "UnknownWillGetsDont", {0xFF, 0xFB, 0x05}, {0xFF, 0xFE, 0x05}, S::WantYes, S::WantYes, S::WantYes},
        NegotiationCase{
            "OptionAbove63GetsWont", {0xFF, 0xFD, 0xC8}, {0xFF, 0xFC, 0xC8}, S::WantYes, S::WantYes, S::WantYes},
        // Agreed, then withdrawn by the server: acknowledged once, not looped.
        NegotiationCase{"BinaryWithdrawn",
                        {0xFF, 0xFB, 0x00, 0xFF, 0xFC, 0x00, 0xFF, 0xFC, 0x00},
                        {0xFF, 0xFE, 0x00},
                        S::WantYes,
                        S::WantYes,
                        S::No},
        NegotiationCase{
            "RepeatedDoIsNotAnswered", {0xFF, 0xFD, 0x2C, 0xFF, 0xFD, 0x2C}, {}, S::Yes, S::WantYes, S::WantYes},
        NegotiationCase{
            "NopAndGoAheadIgnored", {0xFF, 0xF1, 0xFF, 0xF9, 0xFF, 0xFD, 0x2C}, {}, S::Yes, S::WantYes, S::WantYes}));

struct SubnegotiationCase {
    const char* name;
    Bytes fromServer;
    Bytes data; // serial data around the commands
    ComPortReplies replies;
    friend void PrintTo(const SubnegotiationCase& c, std::ostream* os) { *os << c.name; }
};

class TelnetSubnegotiationTest : public testing::TestWithParam<SubnegotiationCase> {};

TEST_P(TelnetSubnegotiationTest, RepliesAndDataHoweverTheStreamIsCut) {
    const SubnegotiationCase& c = GetParam();
    for (const std::vector<Bytes>& segments : cuts(c.fromServer)) {
        TelnetCodec codec = opened();
        EXPECT_EQ(decodeAll(codec, segments), c.data) << segments.size() << " segments";
        const ComPortReplies& got = codec.replies();
        EXPECT_EQ(got.allSettingsSeen(), c.replies.allSettingsSeen());
        EXPECT_EQ(got.baudSeen, c.replies.baudSeen);
        EXPECT_EQ(got.baud, c.replies.baud);
        EXPECT_EQ(got.dataSize, c.replies.dataSize);
        EXPECT_EQ(got.parity, c.replies.parity);
        EXPECT_EQ(got.stopSize, c.replies.stopSize);
        EXPECT_EQ(got.purges, c.replies.purges);
    }
}

ComPortReplies replies(std::uint32_t baud, std::uint8_t size, std::uint8_t parity, std::uint8_t stop,
                       unsigned purges = 0) {
    ComPortReplies r;
    r.baudSeen = r.dataSizeSeen = r.paritySeen = r.stopSizeSeen = true;
    r.baud = baud;
    r.dataSize = size;
    r.parity = parity;
    r.stopSize = stop;
    r.purges = purges;
    return r;
}

ComPortReplies baudOnly(std::uint32_t baud) {
    ComPortReplies r;
    r.baudSeen = true;
    r.baud = baud;
    return r;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    ComPort, TelnetSubnegotiationTest,
    testing::Values(
        SubnegotiationCase{"SettingsAnswers", kSettingsAnswers, {}, replies(9600, 8, 1, 1)},
        SubnegotiationCase{"PurgeAnswerAmongData",
                           {0x03, 0xFF, 0xFA, 0x2C, 0x70, 0x03, 0xFF, 0xF0, 0x04},
                           {0x03, 0x04},
                           [] {
                               ComPortReplies r;
                               r.purges = 1;
                               return r;
                           }()},
        // 255 bit/s: the rate's last byte is 0xFF, doubled inside the subnegotiation.
        SubnegotiationCase{
            "FfInsideTheRate", {0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xF0}, {}, baudOnly(255)},
        // Notices of line and modem state are read past.
        SubnegotiationCase{
            "ModemStateNotice", {0x01, 0xFF, 0xFA, 0x2C, 0x6B, 0x00, 0xFF, 0xF0, 0x02}, {0x01, 0x02}, {}},
        SubnegotiationCase{"EscapedFfDataBetweenAnswers",
                           concat({{0xFF, 0xFF, 0x03}, kSettingsAnswers, {0xFF, 0xFF}}),
                           {0xFF, 0x03, 0xFF},
                           replies(9600, 8, 1, 1)},
        SubnegotiationCase{"TooShortRateIgnored", {0xFF, 0xFA, 0x2C, 0x65, 0x25, 0x80, 0xFF, 0xF0}, {}, {}}));

struct SettingsCase {
    const char* name;
    std::uint32_t baud;
    std::uint8_t dataBits, parity, stopBits;
    Bytes wire;
    friend void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }
};

class TelnetSettingsTest : public testing::TestWithParam<SettingsCase> {};

TEST_P(TelnetSettingsTest, ComPortCommands) {
    const SettingsCase& c = GetParam();
    TelnetCodec codec;
    std::uint8_t out[telnet::kMaxSettingsBytes];
    const std::size_t n = codec.encodeLineSettings(c.baud, c.dataBits, c.parity, c.stopBits, out);
    EXPECT_EQ(Bytes(out, out + n), c.wire);
}

INSTANTIATE_TEST_SUITE_P(
    LineSettings, TelnetSettingsTest,
    testing::Values(
        SettingsCase{"9600_8N1", 9600, 8, 0, 0, {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0, 0xFF,
                                                 0xFA, 0x2C, 0x02, 0x08, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x03, 0x01,
                                                 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x04, 0x01, 0xFF, 0xF0}},
        SettingsCase{"19200_7E2", 19200, 7, 2, 2, {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x4B, 0x00, 0xFF, 0xF0, 0xFF,
                                                   0xFA, 0x2C, 0x02, 0x07, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x03, 0x03,
                                                   0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x04, 0x02, 0xFF, 0xF0}},
        SettingsCase{"255Baud8O1EscapesTheRate", 255, 8, 1, 1, {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x00, 0xFF,
                                                                0xFF, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x02, 0x08,
                                                                0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x03, 0x02, 0xFF,
                                                                0xF0, 0xFF, 0xFA, 0x2C, 0x04, 0x01, 0xFF, 0xF0}}));

TEST(TelnetPurge, BothBuffers) {
    TelnetCodec codec;
    std::uint8_t out[8];
    const std::size_t n = codec.encodePurge(telnet::kPurgeBoth, out);
    EXPECT_EQ(Bytes(out, out + n), (Bytes{0xFF, 0xFA, 0x2C, 0x0C, 0x03, 0xFF, 0xF0}));
}

struct NameCase {
    const char* name;
    const char* port;
    bool valid;
    const char* host = "";
    std::uint16_t tcpPort = 0;
    NetworkScheme scheme = NetworkScheme::Rfc2217;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }
};

class NetworkPortNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(NetworkPortNameTest, Parses) {
    const NameCase& c = GetParam();
    NetworkEndpoint endpoint;
    ASSERT_EQ(parseNetworkPortName(c.port, endpoint), c.valid);
    if (!c.valid) return;
    EXPECT_EQ(endpoint.host, c.host);
    EXPECT_EQ(endpoint.port, c.tcpPort);
    EXPECT_EQ(endpoint.scheme, c.scheme);
}

INSTANTIATE_TEST_SUITE_P(Names, NetworkPortNameTest,
                         testing::Values(NameCase{"Name", "rfc2217://bus-3.plant:7301", true, "bus-3.plant", 7301},
                                         NameCase{"Ipv4", "rfc2217://10.0.0.5:2001", true, "10.0.0.5", 2001},
                                         NameCase{"Ipv6InBrackets", "rfc2217://[fe80::1]:7301", true, "fe80::1", 7301},
                                         NameCase{"SchemeInCapitals", "RFC2217://host:1", true, "host", 1},
                                         NameCase{"HighestPort", "rfc2217://host:65535", true, "host", 65535},
                                         NameCase{"NoPort", "rfc2217://host", false},
                                         NameCase{"EmptyPort", "rfc2217://host:", false},
                                         NameCase{"PortZero", "rfc2217://host:0", false},
                                         NameCase{"PortTooHigh", "rfc2217://host:65536", false},
                                         NameCase{"NoHost", "rfc2217://:7301", false},
                                         NameCase{"Ipv6WithoutBrackets", "rfc2217://fe80::1:7301", false},
                                         NameCase{"TrailingPath", "rfc2217://host:7301/", false},
                                         NameCase{"OtherScheme", "telnet://host:7301", false},
                                         NameCase{"DevicePath", "/dev/ttyUSB0", false}));

INSTANTIATE_TEST_SUITE_P(
    OtherServers, NetworkPortNameTest,
    testing::Values(
        NameCase{"RawTcp", "tcp://10.0.0.5:4001", true, "10.0.0.5", 4001, NetworkScheme::Tcp},
        NameCase{"RawTcpWithoutPort", "tcp://10.0.0.5", false}, NameCase{"RawTcpPortZero", "tcp://10.0.0.5:0", false},
        NameCase{"RawTcpEmptyHost", "tcp://:4001", false},
        NameCase{"GatewayDefaultPort", "modbus-tcp://gw-2", true, "gw-2", 502, NetworkScheme::ModbusTcp},
        NameCase{"GatewayIpv6DefaultPort", "modbus-tcp://[fe80::1]", true, "fe80::1", 502, NetworkScheme::ModbusTcp},
        NameCase{"GatewayOwnPort", "Modbus-TCP://gw-2:1502", true, "gw-2", 1502, NetworkScheme::ModbusTcp},
        NameCase{"GatewayEmptyPort", "modbus-tcp://gw-2:", false}, NameCase{"GatewayEmptyHost", "modbus-tcp://", false},
        NameCase{"UdpIsNoScheme", "udp://10.0.0.5:4001", false}));

} // namespace
