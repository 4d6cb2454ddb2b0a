#include "window/transmitter.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "window/number_text.h"

namespace {

const char* const kWarning = "警告";
const char* const kTestResult = "测试结果";

constexpr std::uint16_t kPolls = 50;
constexpr std::chrono::milliseconds kPollPeriod{10};
constexpr std::uint16_t kMinReply = 4; // bytes; anything shorter is no reply at all

void sleepUntil(std::chrono::steady_clock::time_point until) { std::this_thread::sleep_until(until); }

const char* parityName(std::uint8_t code) {
    switch (code) {
    case 0: return "无校验";
    case 1: return "奇校验";
    case 2: return "偶校验";
    default: return "错误校验";
    }
}

} // namespace

Transmitter::Transmitter(SerialPort& port, ReceiveBlock& receive, DialogAccess& dialog)
    : pollSleep(sleepUntil),
      port_(port),
      receive_(receive),
      dialog_(dialog) {}

std::uint16_t Transmitter::exchange(std::uint16_t frameLength) {
    // replyRing holds up to 4095 bytes, more than one take: whatever a single
    // take left behind would be read as this request's reply. The loop ends
    // because the receive thread publishes at most once per 30-pass gap.
    while (receive_.takeReply(state.replyBuf, sizeof state.replyBuf) != 0) {}
    port_.write(state.txFrame, frameLength);
    // Polls fall on a fixed 10 ms grid from the write, so late wake-ups do not
    // add up over the 50 polls and push a waiting reply to the next one.
    auto due = std::chrono::steady_clock::now();
    for (std::uint16_t poll = 0; poll < kPolls; ++poll) {
        due += kPollPeriod;
        pollSleep(due);
        const std::uint16_t count = receive_.takeReply(state.replyBuf, sizeof state.replyBuf);
        if (count != 0) return count;
    }
    return 0;
}

int Transmitter::reopen(int portIndex, std::uint32_t baud) {
    port_.close();
    port_.setParams(std::uint8_t(portIndex + 1), 8, 0, 0, baud);
    return port_.open();
}

void Transmitter::adoptIdentity(const Identity& identity, bool withLineChecks) {
    state.deviceAddress = identity.address;
    state.deviceBaud = identity.baud;
    if (withLineChecks) {
        state.parityCode = identity.parityCode;
        state.stopCheckA = identity.stopCheckA;
        state.stopCheckB = identity.stopCheckB;
    }
}

// The box keeps its one fixed text; the cause goes to the log line, named by
// the port number of the open that just failed.
void Transmitter::showOpenFailure() {
    const std::string portName = "COM" + std::to_string(port_.portNumber());
    dialog_.logLine("Ventora: cannot open " + openFailureLine(port_, portName));
    dialog_.messageBox("串口打开失败", kWarning, kBoxQuestion);
}

void Transmitter::showFailure(const char* text, std::uint16_t replyCount) {
    dialog_.messageBox(text, kWarning, kBoxQuestion);
    if (replyCount >= kMinReply) dialog_.messageBox(text, kWarning, kBoxQuestion);
}

Dialect Transmitter::dialect() const { return state.modbusMode ? Dialect::Modbus : Dialect::Fd; }

void Transmitter::detectBaud() {
    state.modbusMode = false;
    const int portIndex = dialog_.selectedPortIndex();
    for (const DetectionAttempt& attempt : kDetectionPlan) {
        if (!reopen(portIndex, std::uint32_t(attempt.baud))) {
            showOpenFailure();
            dialog_.enablePortPair(true);
            return;
        }
        dialog_.enablePortPair(false);
        const std::uint16_t count = exchange(buildIdentityQuery(state.txFrame, attempt.dialect));
        Identity identity;
        if (count >= kMinReply && parseIdentityReply(state.replyBuf, count, attempt.dialect, identity)) {
            const bool modbus = attempt.dialect == Dialect::Modbus;
            adoptIdentity(identity, modbus);
            dialog_.writeBoxInt(kAddressBox, state.deviceAddress);
            dialog_.writeBoxInt(kBaudBox, state.deviceBaud);
            showDetected(attempt.dialect);
            dialog_.enablePortPair(true);
            dialog_.enableOperationButtons(true);
            state.modbusMode = modbus;
            return;
        }
    }
    dialog_.enablePortPair(true);
    dialog_.messageBox("测试结束 未知波特率", kTestResult, kBoxPlain);
}

void Transmitter::showDetected(Dialect found) {
    char text[160];
    if (found == Dialect::Fd) {
        std::snprintf(text, sizeof text, "设备地址：%d  波特率：%d", int(state.deviceAddress), int(state.deviceBaud));
        dialog_.messageBox(text, kTestResult, kBoxPlain);
        return;
    }
    std::snprintf(text, sizeof text, "土壤水分变送器\r\n地址：%d  波特率：%d\r\n%s", int(state.deviceAddress),
                  int(state.deviceBaud), parityName(state.parityCode));
    std::string message = text;
    if (state.stopCheckA != 0 || state.stopCheckB != 0) {
        message += "\r\n停止位异常,请重新配置地址或波特率";
        dialog_.messageBox(message, "测试结果异常", kBoxQuestion);
    } else {
        dialog_.messageBox(message, kTestResult, kBoxPlain);
    }
}

void Transmitter::queryIdentity() {
    if (state.queryBusy) return;
    state.queryBusy = true;
    const std::uint16_t length = buildIdentityQuery(state.txFrame, dialect());
    dialog_.setBoxText(kAddressBox, " ");
    dialog_.setBoxText(kBaudBox, " ");
    const std::uint16_t count = exchange(length);
    Identity identity;
    if (count < kMinReply || !parseIdentityReply(state.replyBuf, count, dialect(), identity)) return;
    adoptIdentity(identity, state.modbusMode);
    dialog_.writeBoxInt(kAddressBox, state.deviceAddress);
    dialog_.writeBoxInt(kBaudBox, state.deviceBaud);
}

bool Transmitter::writeIdentity(IdentityField field, Identity wanted, std::uint16_t& count) {
    count = exchange(buildIdentityWrite(state.txFrame, dialect(), field, wanted));
    if (count < kMinReply || !acceptIdentityWrite(state.replyBuf, count, dialect(), wanted)) return false;
    adoptIdentity(wanted, false);
    return true;
}

void Transmitter::setAddress() {
    const int value = dialog_.readBoxInt(kAddressBox);
    if (value == 0) {
        dialog_.messageBox("地址不能为0", std::nullopt, kBoxPlain);
        return;
    }
    if (value < 1 || value > 255) {
        dialog_.messageBox("地址错误", std::nullopt, kBoxPlain);
        return;
    }
    const Identity wanted{std::uint8_t(value), state.deviceBaud};
    std::uint16_t count = 0;
    if (writeIdentity(IdentityField::Address, wanted, count))
        dialog_.messageBox("地址设置成功", std::nullopt, kBoxPlain);
    else
        showFailure("地址设置失败", count);
}

void Transmitter::setBaudRate() {
    const int baud = dialog_.readBoxInt(kBaudBox);
    // The window offers the FD rates in both dialects.
    if (!baudAllowed(Dialect::Fd, baud)) {
        dialog_.messageBox("波特率错误", std::nullopt, kBoxPlain);
        return;
    }
    const Identity wanted{state.deviceAddress, baud};
    std::uint16_t count = 0;
    if (!writeIdentity(IdentityField::Baud, wanted, count)) {
        showFailure("波特率设置失败", count);
        return;
    }
    dialog_.messageBox("波特率设置成功", std::nullopt, kBoxPlain);
    // A Modbus transmitter takes its new rate when it restarts; the port stays.
    if (!state.modbusMode && !reopen(dialog_.selectedPortIndex(), std::uint32_t(baud))) showOpenFailure();
}

void Transmitter::readMeasurement() {
    if (state.queryBusy) return;
    state.queryBusy = true;
    dialog_.setBoxText(kVelocityBox, " ");
    dialog_.setBoxText(kVolumeBox, " ");
    const std::uint8_t address = registerAddress(dialect(), state.deviceAddress);
    const std::uint16_t count = exchange(buildReadMeasurement(state.txFrame, address));
    Measurement measurement;
    if (count < kMinReply || !parseMeasurement(state.replyBuf, count, address, measurement)) return;
    const MeasurementText text = measurementText(measurement);
    dialog_.setBoxText(kVelocityBox, text.velocity);
    dialog_.setBoxText(kVolumeBox, text.volume);
}

void Transmitter::readArea() {
    if (state.queryBusy) return;
    state.queryBusy = true;
    dialog_.setBoxText(kAreaBox, "");
    const std::uint8_t address = registerAddress(dialect(), state.deviceAddress);
    const std::uint16_t count = exchange(buildReadArea(state.txFrame, address));
    std::uint16_t area = 0;
    if (count < kMinReply || !parseArea(state.replyBuf, count, address, area)) return;
    dialog_.writeBoxInt(kAreaBox, area);
}

void Transmitter::writeArea() {
    std::uint16_t area = 0;
    if (!parseAreaText(dialog_.boxText(kAreaBox), area)) {
        dialog_.messageBox("截面积错误", std::nullopt, kBoxPlain);
        return;
    }
    const std::uint8_t address = registerAddress(dialect(), state.deviceAddress);
    const std::uint16_t count = exchange(buildWriteArea(state.txFrame, address, area));
    if (count >= kMinReply && checkRegisterWrite(state.replyBuf, count, address))
        dialog_.messageBox("设置成功", std::nullopt, kBoxPlain);
    else
        showFailure("设置失败", count);
}
