#include "window/transmitter.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "window/number_text.h"

namespace {

constexpr std::uint16_t kPolls = 50;
constexpr std::chrono::milliseconds kPollPeriod{10};
constexpr std::uint16_t kMinReply = 4; // bytes; anything shorter is no reply at all

void sleepUntil(std::chrono::steady_clock::time_point until) { std::this_thread::sleep_until(until); }

TextId parityName(std::uint8_t code) {
    switch (code) {
    case 0: return TextId::ParityNone;
    case 1: return TextId::ParityOdd;
    case 2: return TextId::ParityEven;
    default: return TextId::ParityInvalid;
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
    bool echoTaken = false;
    for (std::uint16_t poll = 0; poll < kPolls; ++poll) {
        due += kPollPeriod;
        pollSleep(due);
        // An echo alone is no reply: the transmitter's may follow in a later batch.
        const std::uint16_t count =
            withoutEcho(frameLength, receive_.takeReply(state.replyBuf, sizeof state.replyBuf), echoTaken);
        if (count != 0) return count;
    }
    return 0;
}

std::uint16_t Transmitter::withoutEcho(std::uint16_t frameLength, std::uint16_t count, bool& echoTaken) {
    if (count == 0) return 0;
    // The port hands a request back once: after its echo, a copy of the request
    // is the reply itself, as a write acknowledgement is.
    if (echoTaken) return count;
    const std::uint16_t offset = echoOffset(echo, state.txFrame, frameLength, state.replyBuf, count);
    echoTaken = offset != 0;
    std::memmove(state.replyBuf, state.replyBuf + offset, count - offset);
    return std::uint16_t(count - offset);
}

int Transmitter::reopen(int portIndex, std::uint32_t baud) {
    port_.close();
    // Another port may be another adapter.
    if (portIndex + 1 != port_.portNumber()) echo = EchoKnowledge::Unknown;
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
    show(TextId::OpenFailed, TextId::WarningCaption, kBoxQuestion);
}

void Transmitter::showFailure(TextId text, std::uint16_t replyCount) {
    show(text, TextId::WarningCaption, kBoxQuestion);
    if (replyCount >= kMinReply) show(text, TextId::WarningCaption, kBoxQuestion);
}

void Transmitter::show(TextId text, std::optional<TextId> caption, unsigned type) {
    std::optional<std::string> captionText;
    if (caption) captionText = uiText(*caption, language);
    dialog_.messageBox(uiText(text, language), captionText, type);
}

Dialect Transmitter::dialect() const { return state.modbusMode ? Dialect::Modbus : Dialect::Fd; }

void Transmitter::detectBaud() {
    state.modbusMode = false;
    echo = EchoKnowledge::Unknown; // the adapter may have changed since the last detection
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
    // An echoing port hands back even a request nobody answers.
    if (echo == EchoKnowledge::Unknown) echo = EchoKnowledge::Plain;
    dialog_.enablePortPair(true);
    show(TextId::NothingAnswered, TextId::TestResultCaption, kBoxPlain);
}

void Transmitter::showDetected(Dialect found) {
    char text[160];
    if (found == Dialect::Fd) {
        std::snprintf(text, sizeof text, uiText(TextId::FdDetected, language), int(state.deviceAddress),
                      int(state.deviceBaud));
        dialog_.messageBox(text, uiText(TextId::TestResultCaption, language), kBoxPlain);
        return;
    }
    std::snprintf(text, sizeof text, uiText(TextId::ModbusDetected, language), int(state.deviceAddress),
                  int(state.deviceBaud), uiText(parityName(state.parityCode), language));
    std::string message = text;
    if (state.stopCheckA != 0 || state.stopCheckB != 0) {
        message += uiText(TextId::StopBitsWrong, language);
        dialog_.messageBox(message, uiText(TextId::TestFaultCaption, language), kBoxQuestion);
    } else {
        dialog_.messageBox(message, uiText(TextId::TestResultCaption, language), kBoxPlain);
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
    // A number too long for the box's reading reads as 0, but it is an address out of range, not a missing one.
    if (value == 0 && boxNumberTooLong(dialog_.boxText(kAddressBox))) {
        show(TextId::AddressWrong, std::nullopt, kBoxPlain);
        return;
    }
    if (value == 0) {
        show(TextId::AddressZero, std::nullopt, kBoxPlain);
        return;
    }
    if (value < 1 || value > 255) {
        show(TextId::AddressWrong, std::nullopt, kBoxPlain);
        return;
    }
    const Identity wanted{std::uint8_t(value), state.deviceBaud};
    std::uint16_t count = 0;
    if (writeIdentity(IdentityField::Address, wanted, count))
        show(TextId::AddressSet, std::nullopt, kBoxPlain);
    else
        showFailure(TextId::AddressFailed, count);
}

void Transmitter::setBaudRate() {
    const int baud = dialog_.readBoxInt(kBaudBox);
    // The window offers the FD rates in both dialects.
    if (!baudAllowed(Dialect::Fd, baud)) {
        show(TextId::BaudWrong, std::nullopt, kBoxPlain);
        return;
    }
    const Identity wanted{state.deviceAddress, baud};
    std::uint16_t count = 0;
    if (!writeIdentity(IdentityField::Baud, wanted, count)) {
        showFailure(TextId::BaudFailed, count);
        return;
    }
    show(TextId::BaudSet, std::nullopt, kBoxPlain);
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
        show(TextId::AreaWrong, std::nullopt, kBoxPlain);
        return;
    }
    const std::uint8_t address = registerAddress(dialect(), state.deviceAddress);
    const std::uint16_t count = exchange(buildWriteArea(state.txFrame, address, area));
    if (count >= kMinReply && checkRegisterWrite(state.replyBuf, count, address))
        show(TextId::AreaSet, std::nullopt, kBoxPlain);
    else
        showFailure(TextId::AreaFailed, count);
}
