#include "window/transmitter.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

#include "tests/support/fake_port.h"
#include "tests/support/operations_rig.h"

namespace {

const Bytes kFdQuery = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
const Bytes kModbusQuery = {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF};
const std::string kStopWarning = "\r\n停止位异常,请重新配置地址或波特率";

unsigned pollCount = 0;
void countPoll(std::chrono::steady_clock::time_point) { ++pollCount; }

// Answers `reply` to `request` at `baud` only; anything else meets silence.
std::function<Bytes(const Bytes&, std::uint32_t)> answer(Bytes request, std::uint32_t baud, Bytes reply) {
    return [=](const Bytes& frame, std::uint32_t at) { return frame == request && at == baud ? reply : Bytes{}; };
}

std::function<Bytes(const Bytes&, std::uint32_t)> always(Bytes reply) {
    return [=](const Bytes&, std::uint32_t) { return reply; };
}

ShownBox box(std::string text, std::optional<std::string> caption, unsigned type) {
    return {std::move(text), std::move(caption), type};
}

// No receive thread: the port's answers go straight into replyRing.
class OperationsTest : public testing::Test {
protected:
    OperationsTest() {
        port.answerInto = block.get();
        transmitter.pollSleep = countPoll;
        pollCount = 0;
    }

    // A transmitter already found by detection, port open at `baud`.
    void connected(bool modbusMode, std::uint8_t address, std::int32_t baud) {
        port.setParams(1, 8, 0, 0, std::uint32_t(baud));
        port.open();
        port.openedAt.clear();
        transmitter.state.modbusMode = modbusMode;
        transmitter.state.deviceAddress = address;
        transmitter.state.deviceBaud = baud;
        transmitter.echo = EchoKnowledge::Plain;
    }

    OperationsRig<FakePort> rig{Receiving::Off};
    std::unique_ptr<ReceiveBlock>& block = rig.block;
    FakeDialog& dialog = rig.dialog;
    FakePort& port = rig.port;
    Transmitter& transmitter = rig.transmitter;
};

// --- exchange ---------------------------------------------------------------

// A full ring holds four takes' worth of stale bytes; none may pass for the reply.
TEST_F(OperationsTest, ExchangeDrainsStaleRepliesBeforeWriting) {
    connected(false, 1, 9600);
    port.respond = always({0x01, 0x02, 0x03, 0x04});
    transmitter.state.txFrame[0] = 0x5A;
    for (const unsigned stale : {5u, 1025u, 4095u}) {
        for (unsigned i = 0; i < stale; ++i) ringPush(block->replyRing, 0xAA);
        ASSERT_EQ(transmitter.exchange(1), 4) << stale << " stale bytes";
        EXPECT_EQ(Bytes(transmitter.state.replyBuf, transmitter.state.replyBuf + 4), (Bytes{0x01, 0x02, 0x03, 0x04}));
    }
    EXPECT_EQ(port.frames, (std::vector<Bytes>(3, Bytes{0x5A})));
}

TEST_F(OperationsTest, SilentExchangeGivesUpAfterFiftyPolls) {
    connected(false, 1, 9600);
    EXPECT_EQ(transmitter.exchange(7), 0);
    EXPECT_EQ(pollCount, 50u);
}

// --- readBoxInt -------------------------------------------------------------

TEST_F(OperationsTest, ReadBoxIntTakesOnlyWholeSignedDecimals) {
    const std::pair<const char*, int> cases[] = {
        {"5", 5},
        {" -12 ", -12},
        {"+7", 7},
        {"\t42\r\n", 42},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 0},
        {"-2147483649", 0},
        {"99999999999999999999", 0},
        {"12cm", 0},
        {"", 0},
        {" ", 0},
        {"-", 0},
        {"1 2", 0},
        {"abc", 0},
        {"0x10", 0},
        {"--1", 0},
    };
    for (const auto& [text, value] : cases) {
        dialog.boxes[kAddressBox] = text;
        EXPECT_EQ(dialog.readBoxInt(kAddressBox), value) << '"' << text << '"';
    }
}

// --- detectBaud -------------------------------------------------------------

struct FdDetectCase {
    std::uint32_t baud;
    Bytes reply;
    const char* addressText;
    const char* message;
    friend void PrintTo(const FdDetectCase& c, std::ostream* os) { *os << c.baud; }
};

class FdDetectTest : public OperationsTest, public testing::WithParamInterface<FdDetectCase> {};

TEST_P(FdDetectTest, FindsAnFdTransmitterAndStopsThere) {
    const FdDetectCase& c = GetParam();
    dialog.portIndex = 2;
    port.respond = answer(kFdQuery, c.baud, c.reply);
    transmitter.detectBaud();

    std::vector<std::uint32_t> tried;
    for (std::uint32_t b : {2400u, 4800u, 9600u}) {
        tried.push_back(b);
        if (b == c.baud) break;
    }
    EXPECT_EQ(port.openedAt, tried);
    EXPECT_EQ(port.frames, std::vector<Bytes>(tried.size(), kFdQuery));
    EXPECT_EQ(port.portNumber(), 3);
    EXPECT_TRUE(port.isOpen);
    EXPECT_EQ(dialog.shown, (std::vector<ShownBox>{box(c.message, "测试结果", kBoxPlain)}));
    EXPECT_EQ(dialog.boxes[kAddressBox], c.addressText);
    EXPECT_EQ(dialog.boxes[kBaudBox], std::to_string(c.baud));
    std::vector<std::string> enabling(tried.size(), "pair off");
    enabling.insert(enabling.end(), {"pair on", "buttons on"});
    EXPECT_EQ(dialog.enabling, enabling);
    EXPECT_FALSE(transmitter.state.modbusMode);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(EachRate, FdDetectTest, testing::Values(
    FdDetectCase{2400, {0xFD, 0xFD, 0xFD, 0x01, 0x01, 0x29, 0xD8}, "1", "设备地址：1  波特率：2400"},
    FdDetectCase{4800, {0xFD, 0xFD, 0xFD, 0x02, 0x05, 0x28, 0xEB}, "5", "设备地址：5  波特率：4800"},
    FdDetectCase{9600, {0xFD, 0xFD, 0xFD, 0x03, 0x0A, 0x69, 0x7F}, "10", "设备地址：10  波特率：9600"}
));
// clang-format on

struct ModbusDetectCase {
    const char* name;
    Bytes reply;
    const char* baudText;
    std::string message;
    const char* caption;
    unsigned type;
    friend void PrintTo(const ModbusDetectCase& c, std::ostream* os) { *os << c.name; }
};

class ModbusDetectTest : public OperationsTest, public testing::WithParamInterface<ModbusDetectCase> {};

TEST_P(ModbusDetectTest, FindsAModbusTransmitterAfterThreeFdAttempts) {
    const ModbusDetectCase& c = GetParam();
    port.respond = answer(kModbusQuery, 9600, c.reply);
    transmitter.detectBaud();

    EXPECT_EQ(port.openedAt, (std::vector<std::uint32_t>{2400, 4800, 9600, 9600}));
    EXPECT_EQ(port.frames, (std::vector<Bytes>{kFdQuery, kFdQuery, kFdQuery, kModbusQuery}));
    EXPECT_EQ(dialog.shown, (std::vector<ShownBox>{box(c.message, c.caption, c.type)}));
    EXPECT_EQ(dialog.boxes[kAddressBox], "17");
    EXPECT_EQ(dialog.boxes[kBaudBox], c.baudText);
    EXPECT_EQ(dialog.enabling,
              (std::vector<std::string>{"pair off", "pair off", "pair off", "pair off", "pair on", "buttons on"}));
    EXPECT_TRUE(transmitter.state.modbusMode);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ParityAndStopChecks, ModbusDetectTest, testing::Values(
    ModbusDetectCase{"no_parity", {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81, 0x99}, "9600", "土壤水分变送器\r\n地址：17  波特率：9600\r\n无校验", "测试结果", kBoxPlain},
    ModbusDetectCase{"odd_parity", {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xBC, 0x59}, "9600", "土壤水分变送器\r\n地址：17  波特率：9600\r\n奇校验", "测试结果", kBoxPlain},
    ModbusDetectCase{"even_parity_stop_b", {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x39, 0x99}, "9600", "土壤水分变送器\r\n地址：17  波特率：9600\r\n偶校验" + kStopWarning, "测试结果异常", kBoxQuestion},
    ModbusDetectCase{"bad_parity_stop_a_19200", {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x04, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x6A, 0x99}, "19200", "土壤水分变送器\r\n地址：17  波特率：19200\r\n错误校验" + kStopWarning, "测试结果异常", kBoxQuestion}
),
    [](const testing::TestParamInfo<ModbusDetectCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(OperationsTest, DetectionThatFindsNothingLeavesButtonsAndDropsModbusMode) {
    transmitter.state.modbusMode = true;
    transmitter.detectBaud();
    EXPECT_EQ(port.frames, (std::vector<Bytes>{kFdQuery, kFdQuery, kFdQuery, kModbusQuery}));
    EXPECT_EQ(dialog.shown, (std::vector<ShownBox>{box("测试结束 未知波特率", "测试结果", kBoxPlain)}));
    EXPECT_EQ(dialog.enabling, (std::vector<std::string>{"pair off", "pair off", "pair off", "pair off", "pair on"}));
    EXPECT_FALSE(transmitter.state.modbusMode);
    EXPECT_TRUE(port.isOpen);
    EXPECT_EQ(port.baudRate(), 9600u);
}

TEST_F(OperationsTest, DetectionReportsAPortThatWillNotOpen) {
    struct Case {
        int portIndex;
        int opensAllowed;
        std::size_t framesSent;
    };
    for (const Case& c : {Case{-1, 99, 0}, Case{0, 0, 0}, Case{0, 3, 3}}) {
        port.frames.clear();
        dialog.shown.clear();
        dialog.enabling.clear();
        dialog.portIndex = c.portIndex;
        int opens = 0;
        port.opens = [&](std::uint8_t portNumber) { return portNumber != 0 && opens++ < c.opensAllowed; };
        transmitter.detectBaud();
        EXPECT_EQ(port.frames.size(), c.framesSent);
        EXPECT_EQ(dialog.shown, (std::vector<ShownBox>{box("串口打开失败", "警告", kBoxQuestion)}));
        std::vector<std::string> enabling(c.framesSent, "pair off");
        enabling.push_back("pair on");
        EXPECT_EQ(dialog.enabling, enabling) << c.portIndex << ' ' << c.opensAllowed;
    }
}

// The box keeps its one text; the log line names the port, the device tried
// and why it would not open, then the OS's own words where it has some.
TEST(OpenFailure, LogsThePortTheDeviceAndTheCause) {
    struct Case {
        int portIndex;
        const char* device;
        const char* line;
    };
    const Case cases[] = {
        {2, "/nonexistent/ttyUSB9", "Ventora: cannot open COM3 (/nonexistent/ttyUSB9): no such device ("},
        {31, "", "Ventora: cannot open COM32: no such device (the port names no serial device present)"},
        {-1, "/nonexistent/ttyUSB9",
         "Ventora: cannot open COM0: no such device (the port names no serial device present)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        OperationsRig<SerialPort> rig(Receiving::Off, [&c](std::uint8_t) { return std::string(c.device); });
        rig.dialog.portIndex = c.portIndex;
        rig.transmitter.detectBaud();
        ASSERT_EQ(rig.dialog.logged.size(), 1u);
        EXPECT_EQ(rig.dialog.logged[0].rfind(c.line, 0), 0u) << rig.dialog.logged[0];
        EXPECT_EQ(rig.dialog.shown, (std::vector<ShownBox>{box("串口打开失败", "警告", kBoxQuestion)}));
    }
}

// --- queryIdentity ----------------------------------------------------------

struct QueryCase {
    const char* name;
    bool modbusMode;
    Bytes reply;
    bool accepted;
    std::uint8_t address;
    std::int32_t baud;
    std::uint8_t parityCode, stopCheckA, stopCheckB;
    friend void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.name; }
};

class QueryIdentityTest : public OperationsTest, public testing::WithParamInterface<QueryCase> {};

TEST_P(QueryIdentityTest, UpdatesStateOnlyOnAcceptance) {
    const QueryCase& c = GetParam();
    connected(c.modbusMode, 0x42, 1234);
    transmitter.state.parityCode = 9;
    transmitter.state.stopCheckA = 9;
    transmitter.state.stopCheckB = 9;
    port.respond = always(c.reply);
    transmitter.queryIdentity();

    EXPECT_EQ(port.frames, (std::vector<Bytes>{c.modbusMode ? kModbusQuery : kFdQuery}));
    EXPECT_TRUE(transmitter.state.queryBusy);
    const TransmitterState& s = transmitter.state;
    EXPECT_EQ(s.deviceAddress, c.address);
    EXPECT_EQ(s.deviceBaud, c.baud);
    EXPECT_EQ(s.parityCode, c.parityCode);
    EXPECT_EQ(s.stopCheckA, c.stopCheckA);
    EXPECT_EQ(s.stopCheckB, c.stopCheckB);
    EXPECT_EQ(dialog.boxes[kAddressBox], c.accepted ? std::to_string(c.address) : " ");
    EXPECT_EQ(dialog.boxes[kBaudBox], c.accepted ? std::to_string(c.baud) : " ");
    EXPECT_TRUE(dialog.shown.empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(BothDialects, QueryIdentityTest, testing::Values(
    QueryCase{"fd_accepted", false, {0xFD, 0xFD, 0xFD, 0x02, 0x05, 0x28, 0xEB}, true, 5, 4800, 9, 9, 9},
    QueryCase{"fd_code_4", false, {0xFD, 0xFD, 0xFD, 0x04, 0x05, 0x2B, 0x4B}, false, 0x42, 1234, 9, 9, 9},
    QueryCase{"fd_three_bytes", false, {0xFD, 0xFD, 0xFD}, false, 0x42, 1234, 9, 9, 9},
    QueryCase{"fd_silent", false, {}, false, 0x42, 1234, 9, 9, 9},
    QueryCase{"modbus_accepted", true, {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x04, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x6A, 0x99}, true, 0x11, 19200, 5, 1, 0},
    QueryCase{"modbus_baud_code_7", true, {0xFF, 0x03, 0x0A, 0x00, 0x21, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x58}, true, 0x21, 0, 0, 0, 0},
    QueryCase{"modbus_exception", true, {0xFF, 0x83, 0x02, 0x00, 0x00, 0x91, 0x90}, false, 0x42, 1234, 9, 9, 9},
    QueryCase{"modbus_short_with_valid_crc", true, {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x5F, 0x9C}, false, 0x42, 1234, 9, 9, 9}
),
    [](const testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(OperationsTest, ReadOnlyQueriesRunOnceUntilTheBusyFlagIsCleared) {
    connected(false, 1, 9600);
    for (void (Transmitter::*query)() :
         {&Transmitter::queryIdentity, &Transmitter::readMeasurement, &Transmitter::readArea}) {
        port.frames.clear();
        transmitter.state.queryBusy = false;
        std::invoke(query, transmitter);
        std::invoke(query, transmitter);
        EXPECT_EQ(port.frames.size(), 1u);
        transmitter.state.queryBusy = false;
        std::invoke(query, transmitter);
        EXPECT_EQ(port.frames.size(), 2u);
    }
}

// --- setAddress / setBaudRate -----------------------------------------------

struct IdentityWriteCase {
    const char* name;
    bool modbusMode;
    std::int32_t baudBefore;
    const char* boxText;
    Bytes reply;
    std::vector<Bytes> sent;
    std::vector<ShownBox> shown;
    std::uint8_t addressAfter;
    std::int32_t baudAfter;
    friend void PrintTo(const IdentityWriteCase& c, std::ostream* os) { *os << c.name; }
};

class SetAddressTest : public OperationsTest, public testing::WithParamInterface<IdentityWriteCase> {};

TEST_P(SetAddressTest, SendsReportsAndAdopts) {
    const IdentityWriteCase& c = GetParam();
    connected(c.modbusMode, 7, c.baudBefore);
    dialog.boxes[kAddressBox] = c.boxText;
    port.respond = always(c.reply);
    transmitter.setAddress();
    EXPECT_EQ(port.frames, c.sent);
    EXPECT_EQ(dialog.shown, c.shown);
    EXPECT_EQ(transmitter.state.deviceAddress, c.addressAfter);
    EXPECT_EQ(transmitter.state.deviceBaud, c.baudAfter);
    EXPECT_EQ(dialog.boxes[kAddressBox], c.boxText);
}

const ShownBox kAddressOk = box("地址设置成功", std::nullopt, kBoxPlain);
const ShownBox kAddressFailed = box("地址设置失败", "警告", kBoxQuestion);
const Bytes kFdSetAddress5 = {0xFD, 0xFD, 0xFD, 0x00, 0x05, 0x29, 0x8B};
const Bytes kWriteAck = {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x14, 0x6C};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SetAddressTest, testing::Values(
    IdentityWriteCase{"fd_success_adopts_echo", false, 9600, "5", {0xFD, 0xFD, 0xFD, 0x02, 0x05, 0x28, 0xEB}, {kFdSetAddress5}, {kAddressOk}, 5, 4800},
    IdentityWriteCase{"fd_silent_fails_once", false, 9600, "5", {}, {kFdSetAddress5}, {kAddressFailed}, 7, 9600},
    IdentityWriteCase{"fd_three_bytes_fails_once", false, 9600, "5", {0xFD, 0xFD, 0xFD}, {kFdSetAddress5}, {kAddressFailed}, 7, 9600},
    IdentityWriteCase{"fd_bad_crc_fails_twice", false, 9600, "5", {0xFD, 0xFD, 0xFD, 0x02, 0x05, 0x28, 0xEC}, {kFdSetAddress5}, {kAddressFailed, kAddressFailed}, 7, 9600},
    IdentityWriteCase{"modbus_keeps_19200", true, 19200, "17", kWriteAck, {{0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x11, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x26, 0x39}}, {kAddressOk}, 17, 19200},
    IdentityWriteCase{"modbus_keeps_2400", true, 2400, "17", kWriteAck, {{0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x11, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x73, 0x39}}, {kAddressOk}, 17, 2400},
    IdentityWriteCase{"modbus_unknown_rate_sends_4800_code", true, 0, "17", kWriteAck, {{0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x11, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x39}}, {kAddressOk}, 17, 0},
    IdentityWriteCase{"modbus_exception_fails_twice", true, 9600, "17", {0xFF, 0x90, 0x01, 0xEC, 0x30}, {{0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x11, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50, 0xF9}}, {kAddressFailed, kAddressFailed}, 7, 9600},
    IdentityWriteCase{"zero_refused", false, 9600, "0", {}, {}, {box("地址不能为0", std::nullopt, kBoxPlain)}, 7, 9600},
    IdentityWriteCase{"letters_refused_as_zero", false, 9600, "abc", {}, {}, {box("地址不能为0", std::nullopt, kBoxPlain)}, 7, 9600},
    IdentityWriteCase{"256_refused", false, 9600, "256", {}, {}, {box("地址错误", std::nullopt, kBoxPlain)}, 7, 9600},
    IdentityWriteCase{"257_refused", true, 9600, "257", {}, {}, {box("地址错误", std::nullopt, kBoxPlain)}, 7, 9600},
    IdentityWriteCase{"negative_refused", false, 9600, "-1", {}, {}, {box("地址错误", std::nullopt, kBoxPlain)}, 7, 9600},
    IdentityWriteCase{"past_32_bits_refused_as_wrong", false, 9600, "4294967297", {}, {}, {box("地址错误", std::nullopt, kBoxPlain)}, 7, 9600},
    IdentityWriteCase{"twenty_digits_refused_as_wrong", false, 9600, "99999999999999999999", {}, {}, {box("地址错误", std::nullopt, kBoxPlain)}, 7, 9600}
),
    [](const testing::TestParamInfo<IdentityWriteCase>& info) { return std::string(info.param.name); });
// clang-format on

class SetBaudRateTest : public OperationsTest, public testing::WithParamInterface<IdentityWriteCase> {};

TEST_P(SetBaudRateTest, SendsReportsAndAdopts) {
    const IdentityWriteCase& c = GetParam();
    connected(c.modbusMode, 7, c.baudBefore);
    dialog.boxes[kBaudBox] = c.boxText;
    port.respond = always(c.reply);
    transmitter.setBaudRate();
    EXPECT_EQ(port.frames, c.sent);
    EXPECT_EQ(dialog.shown, c.shown);
    EXPECT_EQ(transmitter.state.deviceAddress, c.addressAfter);
    EXPECT_EQ(transmitter.state.deviceBaud, c.baudAfter);
    EXPECT_TRUE(port.openedAt.empty()) << "only an FD change moves the port";
}

const ShownBox kBaudOk = box("波特率设置成功", std::nullopt, kBoxPlain);
const ShownBox kBaudFailed = box("波特率设置失败", "警告", kBoxQuestion);
const ShownBox kBaudRefused = box("波特率错误", std::nullopt, kBoxPlain);
const Bytes kFdSet9600 = {0xFD, 0xFD, 0xFD, 0x03, 0x00, 0xE9, 0x78};
const Bytes kModbusSet4800 = {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x07, 0x00,
                              0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA6, 0x59};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SetBaudRateTest, testing::Values(
    IdentityWriteCase{"modbus_success_adopts_rate", true, 9600, "4800", kWriteAck, {kModbusSet4800}, {kBaudOk}, 7, 4800},
    IdentityWriteCase{"modbus_silent_fails_once", true, 9600, "4800", {}, {kModbusSet4800}, {kBaudFailed}, 7, 9600},
    IdentityWriteCase{"modbus_exception_fails_twice", true, 9600, "4800", {0xFF, 0x90, 0x01, 0xEC, 0x30}, {kModbusSet4800}, {kBaudFailed, kBaudFailed}, 7, 9600},
    IdentityWriteCase{"fd_bad_crc_fails_twice", false, 4800, "9600", {0xFD, 0xFD, 0xFD, 0x03, 0x0A, 0x69, 0x7E}, {kFdSet9600}, {kBaudFailed, kBaudFailed}, 7, 4800},
    IdentityWriteCase{"fd_silent_fails_once", false, 4800, "9600", {}, {kFdSet9600}, {kBaudFailed}, 7, 4800},
    IdentityWriteCase{"19200_refused", true, 9600, "19200", {}, {}, {kBaudRefused}, 7, 9600},
    IdentityWriteCase{"letters_refused", false, 9600, "fast", {}, {}, {kBaudRefused}, 7, 9600}
),
    [](const testing::TestParamInfo<IdentityWriteCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(OperationsTest, FdBaudChangeReopensAtTheNewRate) {
    for (const bool reopenWorks : {true, false}) {
        dialog.shown.clear();
        connected(false, 7, 4800);
        dialog.portIndex = 4;
        dialog.boxes[kBaudBox] = "9600";
        port.respond = always({0xFD, 0xFD, 0xFD, 0x03, 0x0A, 0x69, 0x7F});
        port.opens = [&](std::uint8_t) { return reopenWorks; };
        transmitter.setBaudRate();

        std::vector<ShownBox> expected{kBaudOk};
        if (!reopenWorks) expected.push_back(box("串口打开失败", "警告", kBoxQuestion));
        EXPECT_EQ(dialog.shown, expected);
        ASSERT_EQ(dialog.logged.size(), reopenWorks ? 0u : 1u);
        if (!reopenWorks) {
            EXPECT_EQ(dialog.logged[0].rfind("Ventora: cannot open COM5", 0), 0u) << dialog.logged[0];
        }
        EXPECT_EQ(port.openedAt, reopenWorks ? std::vector<std::uint32_t>{9600} : std::vector<std::uint32_t>{});
        EXPECT_EQ(port.portNumber(), 5);
        EXPECT_EQ(bool(port.isOpen), reopenWorks);
        EXPECT_EQ(transmitter.state.deviceAddress, 10);
        EXPECT_EQ(transmitter.state.deviceBaud, 9600);
    }
}

// --- measurement and area ---------------------------------------------------

struct MeasurementCase {
    const char* name;
    bool modbusMode;
    Bytes reply;
    const char* velocity;
    const char* volume;
    friend void PrintTo(const MeasurementCase& c, std::ostream* os) { *os << c.name; }
};

class MeasurementTest : public OperationsTest, public testing::WithParamInterface<MeasurementCase> {};

TEST_P(MeasurementTest, ShowsVelocityAndVolumeOrLeavesBlanks) {
    const MeasurementCase& c = GetParam();
    connected(c.modbusMode, 1, 9600);
    // A complete earlier reply, so a short one cannot borrow its bytes.
    const std::uint8_t earlier[] = {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0xCA, 0xFA};
    std::copy(std::begin(earlier), std::end(earlier), transmitter.state.replyBuf);
    port.respond = always(c.reply);
    transmitter.readMeasurement();
    EXPECT_EQ(port.frames, (std::vector<Bytes>{c.modbusMode ? Bytes{0xFF, 0x03, 0x00, 0x00, 0x00, 0x04, 0x51, 0xD7}
                                                            : Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09}}));
    EXPECT_EQ(dialog.boxes[kVelocityBox], c.velocity);
    EXPECT_EQ(dialog.boxes[kVolumeBox], c.volume);
    EXPECT_TRUE(dialog.shown.empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, MeasurementTest, testing::Values(
    MeasurementCase{"zero", false, {0x01, 0x03, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x95, 0xD7}, "0.0", "0.000000"},
    MeasurementCase{"largest", false, {0x01, 0x03, 0x08, 0xFF, 0xFF, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0x41, 0xF6}, "6553.5", "12.500000"},
    MeasurementCase{"modbus_from_ff", true, {0xFF, 0x03, 0x08, 0xFF, 0xFF, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0x76, 0x1D}, "6553.5", "12.500000"},
    MeasurementCase{"modbus_from_1_rejected", true, {0x01, 0x03, 0x08, 0xFF, 0xFF, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0x41, 0xF6}, " ", " "},
    MeasurementCase{"exception_rejected", false, {0x01, 0x83, 0x02, 0x00, 0x00, 0x91, 0x84}, " ", " "},
    MeasurementCase{"short_with_valid_crc", false, {0x01, 0x03, 0x08, 0x00, 0x7B, 0xD8, 0x65}, " ", " "},
    MeasurementCase{"silent", false, {}, " ", " "}
),
    [](const testing::TestParamInfo<MeasurementCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(OperationsTest, ReadAreaShowsTheRegisterOrAnEmptyBox) {
    const std::pair<Bytes, const char*> cases[] = {
        {{0x01, 0x03, 0x02, 0x01, 0x2C, 0xB8, 0x09}, "300"},
        {{0x01, 0x03, 0x02, 0x01, 0x2C, 0xB8, 0x08}, ""},
        {{0x01, 0x83, 0x02, 0x00, 0x00, 0x91, 0x84}, ""},
    };
    connected(false, 1, 9600);
    for (const auto& [reply, shownText] : cases) {
        port.frames.clear();
        transmitter.state.queryBusy = false;
        dialog.boxes[kAreaBox] = "stale";
        port.respond = always(reply);
        transmitter.readArea();
        EXPECT_EQ(port.frames, (std::vector<Bytes>{{0x01, 0x03, 0x02, 0x00, 0x00, 0x01, 0x85, 0xB2}}));
        EXPECT_EQ(dialog.boxes[kAreaBox], shownText);
    }
    EXPECT_TRUE(dialog.shown.empty());
}

struct WriteAreaCase {
    const char* name;
    bool modbusMode;
    const char* boxText;
    Bytes reply;
    std::vector<Bytes> sent;
    std::vector<ShownBox> shown;
    EchoKnowledge echo = EchoKnowledge::Plain;
    Bytes nextBatch = {}; // published at the second poll, as a reply the quiet gap split from the first
    friend void PrintTo(const WriteAreaCase& c, std::ostream* os) { *os << c.name; }
};

Bytes nextBatch;
ReceiveBlock* nextBatchInto = nullptr;
void publishNextBatchAtPoll2(std::chrono::steady_clock::time_point) {
    if (++pollCount == 2)
        for (const std::uint8_t byte : nextBatch) ringPush(nextBatchInto->replyRing, byte);
}

class WriteAreaTest : public OperationsTest, public testing::WithParamInterface<WriteAreaCase> {};

TEST_P(WriteAreaTest, SendsTheAreaAndReports) {
    const WriteAreaCase& c = GetParam();
    connected(c.modbusMode, 1, 9600);
    transmitter.echo = c.echo;
    transmitter.state.queryBusy = true; // the write has no busy guard
    dialog.boxes[kAreaBox] = c.boxText;
    port.respond = always(c.reply);
    nextBatch = c.nextBatch;
    nextBatchInto = block.get();
    transmitter.pollSleep = publishNextBatchAtPoll2;
    transmitter.writeArea();
    EXPECT_EQ(port.frames, c.sent);
    EXPECT_EQ(dialog.shown, c.shown);
    EXPECT_EQ(dialog.boxes[kAreaBox], c.boxText);
}

const Bytes kWrite300 = {0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3F};
constexpr EchoKnowledge kEchoes = EchoKnowledge::Echoes, kUnknown = EchoKnowledge::Unknown;
const ShownBox kAreaOk = box("设置成功", std::nullopt, kBoxPlain);
const ShownBox kAreaFailed = box("设置失败", "警告", kBoxQuestion);
const ShownBox kAreaRefused = box("截面积错误", std::nullopt, kBoxPlain);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, WriteAreaTest, testing::Values(
    WriteAreaCase{"echo_accepted", false, "300", kWrite300, {kWrite300}, {kAreaOk}},
    WriteAreaCase{"echo_alone_fails", false, "300", kWrite300, {kWrite300}, {kAreaFailed}, kEchoes},
    WriteAreaCase{"unknown_echo_alone", false, "300", kWrite300, {kWrite300}, {kAreaFailed}, kUnknown},
    WriteAreaCase{"silent_fails_once", false, "300", {}, {kWrite300}, {kAreaFailed}},
    WriteAreaCase{"three_bytes_fail_once", false, "300", {0x01, 0x06, 0x02}, {kWrite300}, {kAreaFailed}},
    WriteAreaCase{"bad_crc_fails_twice", false, "300", {0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3E}, {kWrite300}, {kAreaFailed, kAreaFailed}},
    WriteAreaCase{"echo_then_acknowledgement", false, "300", kWrite300, {kWrite300}, {kAreaOk}, kEchoes, kWrite300},
    WriteAreaCase{"leading_zero_is_decimal", false, " 0300 ", kWrite300, {kWrite300}, {kAreaOk}},
    WriteAreaCase{"modbus_largest", true, "65535", {0xFF, 0x06, 0x02, 0x00, 0xFF, 0xFF, 0x9C, 0x1C}, {{0xFF, 0x06, 0x02, 0x00, 0xFF, 0xFF, 0x9C, 0x1C}}, {kAreaOk}},
    WriteAreaCase{"letters_refused", false, "abc", {}, {}, {kAreaRefused}},
    WriteAreaCase{"empty_refused", false, "", {}, {}, {kAreaRefused}},
    WriteAreaCase{"negative_refused", false, "-1", {}, {}, {kAreaRefused}},
    WriteAreaCase{"too_large_refused", false, "65536", {}, {}, {kAreaRefused}},
    WriteAreaCase{"huge_refused", false, "99999999999", {}, {}, {kAreaRefused}},
    WriteAreaCase{"digits_before_letters_refused", false, " 12cm", {}, {}, {kAreaRefused}},
    WriteAreaCase{"two_numbers_refused", false, "453 600", {}, {}, {kAreaRefused}}
),
    [](const testing::TestParamInfo<WriteAreaCase>& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
