#include "protocol/frames.h"

#include <bit>
#include <cstdio>

#include "protocol/crc16.h"

namespace {

constexpr std::uint8_t kFd = 0xFD;
constexpr std::int32_t kFdRates[] = {2400, 4800, 9600}; // bit/s of the FD baud codes 1, 2 and 3

std::uint16_t appendCrc(std::uint8_t* out, std::uint16_t length) {
    const std::uint16_t crc = crc16(out, length);
    out[length] = std::uint8_t(crc & 0xFF);
    out[length + 1] = std::uint8_t(crc >> 8);
    return std::uint16_t(length + 2);
}

std::uint16_t buildFd(std::uint8_t* out, std::uint8_t command, std::uint8_t argument) {
    out[0] = kFd;
    out[1] = kFd;
    out[2] = kFd;
    out[3] = command;
    out[4] = argument;
    return appendCrc(out, 5);
}

std::uint16_t buildRtu(std::uint8_t* out, std::uint8_t address, std::uint8_t function, std::uint16_t first,
                       std::uint16_t value) {
    out[0] = address;
    out[1] = function;
    out[2] = std::uint8_t(first >> 8);
    out[3] = std::uint8_t(first & 0xFF);
    out[4] = std::uint8_t(value >> 8);
    out[5] = std::uint8_t(value & 0xFF);
    return appendCrc(out, 6);
}

std::uint16_t word(const std::uint8_t* bytes) { return std::uint16_t(bytes[0] << 8 | bytes[1]); }

} // namespace

std::uint16_t buildFdQuery(std::uint8_t* out) { return buildFd(out, 0x00, 0x00); }

std::uint16_t buildFdSetAddress(std::uint8_t* out, std::uint8_t address) { return buildFd(out, 0x00, address); }

std::uint16_t buildFdSetBaud(std::uint8_t* out, std::uint8_t baudCode) { return buildFd(out, baudCode, 0x00); }

std::uint16_t buildModbusIdentityQuery(std::uint8_t* out) { return buildRtu(out, kModbusAddress, 0x03, 0x0200, 5); }

std::uint16_t buildModbusIdentityWrite(std::uint8_t* out, std::uint8_t address, std::uint8_t baudCode) {
    buildRtu(out, kModbusAddress, 0x10, 0x0200, 5);
    out[6] = 10;
    const std::uint8_t registers[10] = {0x00, address, 0x00, baudCode, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 10; ++i) out[7 + i] = registers[i];
    return appendCrc(out, 17);
}

std::uint16_t buildReadMeasurement(std::uint8_t* out, std::uint8_t address) {
    return buildRtu(out, address, 0x03, 0x0000, 4);
}

std::uint16_t buildReadArea(std::uint8_t* out, std::uint8_t address) { return buildRtu(out, address, 0x03, 0x0200, 1); }

std::uint16_t buildWriteArea(std::uint8_t* out, std::uint8_t address, std::uint16_t area) {
    return buildRtu(out, address, 0x06, 0x0200, area);
}

std::int32_t baudFromIdentityCode(std::uint8_t code) {
    constexpr std::int32_t kRates[] = {1200, 2400, 4800, 9600, 19200, 38400};
    return code < 6 ? kRates[code] : 0;
}

std::uint8_t identityCodeFromBaud(std::int32_t baud) {
    for (std::uint8_t code = 0; code < 6; ++code)
        if (baudFromIdentityCode(code) == baud) return code;
    return 2;
}

std::uint8_t fdCodeFromBaud(std::int32_t baud) {
    for (std::uint8_t code = 1; code <= 3; ++code)
        if (kFdRates[code - 1] == baud) return code;
    return 0;
}

bool crcMatches(const std::uint8_t* reply, std::uint16_t count) {
    if (count < 2) return false;
    const std::uint16_t crc = crc16(reply, count - 2u);
    return reply[count - 2] == (crc & 0xFF) && reply[count - 1] == (crc >> 8);
}

bool parseFdReply(const std::uint8_t* reply, std::uint16_t count, Identity& out) {
    if (count < 7 || !crcMatches(reply, count)) return false;
    if (reply[0] != kFd || reply[1] != kFd || reply[2] != kFd) return false;
    const std::uint8_t code = reply[3];
    if (code < 1 || code > 3) return false;
    out.baud = kFdRates[code - 1];
    out.address = reply[4];
    return true;
}

bool parseModbusIdentity(const std::uint8_t* reply, std::uint16_t count, Identity& out) {
    if (count < 15 || reply[1] != 0x03 || reply[2] != 10 || !crcMatches(reply, count)) return false;
    out.address = reply[4];
    out.baud = baudFromIdentityCode(reply[6]);
    out.parityCode = reply[8];
    out.stopCheckA = reply[10];
    out.stopCheckB = reply[12];
    return true;
}

bool checkIdentityWriteAck(const std::uint8_t* reply, std::uint16_t count) {
    return count >= 8 && reply[1] == 0x10 && crcMatches(reply, count);
}

bool checkRegisterRead(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address,
                       std::uint8_t registerCount) {
    if (count < 5 || reply[0] != address || reply[1] != 0x03) return false;
    const std::uint8_t byteCount = reply[2];
    if (byteCount < 2 * registerCount || count != 5 + byteCount) return false;
    return crcMatches(reply, count);
}

bool checkRegisterWrite(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address) {
    return count >= 8 && reply[0] == address && reply[1] == 0x06 && crcMatches(reply, count);
}

bool parseMeasurement(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address, Measurement& out) {
    if (!checkRegisterRead(reply, count, address, 4)) return false;
    out.velocityTenths = word(reply + 3);
    const std::uint32_t pattern = std::uint32_t(word(reply + 7)) << 16 | word(reply + 9);
    out.volume = std::bit_cast<float>(pattern);
    return true;
}

bool parseArea(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address, std::uint16_t& area) {
    if (!checkRegisterRead(reply, count, address, 1)) return false;
    area = word(reply + 3);
    return true;
}

MeasurementText measurementText(const Measurement& measurement) {
    MeasurementText text;
    std::snprintf(text.velocity, sizeof text.velocity, "%d.%d", measurement.velocityTenths / 10,
                  measurement.velocityTenths % 10);
    std::snprintf(text.volume, sizeof text.volume, "%f", double(measurement.volume));
    return text;
}
