#include "sim/answer.h"

#include <cstring>
#include <iterator>

namespace sim {

std::uint16_t frameCrc(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

void appendCrc(Bytes& frame) {
    const std::uint16_t crc = frameCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

namespace {

constexpr std::uint8_t fdByte = 0xFD;
constexpr std::uint8_t identityAddress = 0xFF;
constexpr std::uint8_t fnRead = 0x03;
constexpr std::uint8_t fnWriteOne = 0x06;
constexpr std::uint8_t fnWriteMany = 0x10;
constexpr std::uint8_t illegalFunction = 0x01;
constexpr std::uint8_t illegalAddress = 0x02;
constexpr std::uint8_t illegalValue = 0x03;

constexpr std::uint16_t regIdentity = 0x0200; // area in the FD dialect, address in the Modbus dialect
constexpr std::uint16_t regBaudCode = 0x0201;
constexpr std::uint16_t regIdentityLast = 0x0204;

constexpr std::uint32_t modbusBauds[] = {1200, 2400, 4800, 9600, 19200, 38400};
constexpr std::uint32_t fdBauds[] = {2400, 4800, 9600}; // codes 1, 2, 3

// 0xFF when the rate has no Modbus baud code, which the tool reads as rate 0.
std::uint16_t modbusBaudCode(std::uint32_t baud) {
    for (std::uint16_t code = 0; code < std::size(modbusBauds); ++code)
        if (modbusBauds[code] == baud) return code;
    return 0xFF;
}

std::uint8_t fdBaudCode(std::uint32_t baud) {
    for (std::uint8_t i = 0; i < std::size(fdBauds); ++i)
        if (fdBauds[i] == baud) return static_cast<std::uint8_t>(i + 1);
    return 0;
}

bool crcMatches(const Bytes& frame) {
    if (frame.size() < 3) return false;
    const std::size_t n = frame.size() - 2;
    const std::uint16_t crc = frameCrc(frame.data(), n);
    return frame[n] == (crc & 0xFF) && frame[n + 1] == (crc >> 8);
}

void putWord(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t wordAt(const Bytes& frame, std::size_t at) {
    return static_cast<std::uint16_t>(frame[at] << 8 | frame[at + 1]);
}

bool readRegister(const Config& c, std::uint16_t reg, std::uint16_t& value) {
    std::uint32_t volumeBits = 0;
    static_assert(sizeof(volumeBits) == sizeof(c.volume));
    std::memcpy(&volumeBits, &c.volume, sizeof(volumeBits));
    switch (reg) {
    case 0x0000: value = c.velocityTenths; return true;
    case 0x0001: value = 0; return true;
    case 0x0002: value = static_cast<std::uint16_t>(volumeBits >> 16); return true;
    case 0x0003: value = static_cast<std::uint16_t>(volumeBits & 0xFFFF); return true;
    default: break;
    }
    if (c.dialect == Dialect::Fd) {
        if (reg != regIdentity) return false;
        value = c.area;
        return true;
    }
    switch (reg) {
    case 0x0200: value = c.address; return true;
    case 0x0201: value = modbusBaudCode(c.baud); return true;
    case 0x0202: value = c.parityCode; return true;
    case 0x0203: value = c.stopCheckA; return true;
    case 0x0204: value = c.stopCheckB; return true;
    default: return false;
    }
}

Bytes modbusException(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
    Bytes out{address, static_cast<std::uint8_t>(function | 0x80), code};
    appendCrc(out);
    return out;
}

// Answers an FD frame on c (changed in place; the baud change is deferred).
Answer answerFd(const Bytes& req, Config& c) {
    Answer a;
    const std::uint8_t command = req[3];
    const std::uint8_t operand = req[4];
    if (command == 0 && operand != 0) {
        c.address = operand;
    } else if (command >= 1 && command <= 3 && operand == 0) {
        a.newBaud = fdBauds[command - 1];
    } else if (command != 0) {
        return a;
    }
    const std::uint8_t code = a.newBaud ? command : fdBaudCode(c.baud);
    a.reply = {fdByte, fdByte, fdByte, code, c.address};
    appendCrc(a.reply);
    a.exception = {fdByte, fdByte, fdByte, static_cast<std::uint8_t>(command | 0x80), illegalFunction};
    appendCrc(a.exception);
    return a;
}

// Applies one write to the Modbus identity block; false for a value the
// transmitter refuses. Registers 0x0202..0x0204 are status and keep their value.
bool writeIdentity(Config& c, std::uint16_t reg, std::uint16_t value, Answer& a) {
    if (reg == regIdentity) {
        c.address = static_cast<std::uint8_t>(value & 0xFF);
    } else if (reg == regBaudCode) {
        if (value >= std::size(modbusBauds)) return false;
        a.newBaud = modbusBauds[value];
    }
    return true;
}

Answer answerModbus(const Bytes& req, Config& c) {
    Answer a;
    const std::uint8_t address = req[0];
    const std::uint8_t function = req[1];
    const bool modbus = c.dialect == Dialect::Modbus;
    if (address != (modbus ? identityAddress : c.address)) return a;
    a.exception = modbusException(address, function, illegalFunction);
    const std::uint16_t start = wordAt(req, 2);

    if (function == fnRead) {
        const std::uint16_t count = wordAt(req, 4);
        if (count == 0 || count > 125) {
            a.reply = modbusException(address, function, illegalValue);
            return a;
        }
        Bytes out{address, function, static_cast<std::uint8_t>(count * 2)};
        for (std::uint32_t reg = start; reg < std::uint32_t{start} + count; ++reg) {
            std::uint16_t value = 0;
            if (reg > 0xFFFF || !readRegister(c, static_cast<std::uint16_t>(reg), value)) {
                a.reply = modbusException(address, function, illegalAddress);
                return a;
            }
            putWord(out, value);
        }
        appendCrc(out);
        a.reply = std::move(out);
        return a;
    }

    if (function == fnWriteOne) {
        const std::uint16_t value = wordAt(req, 4);
        bool ok = true;
        if (!modbus && start == regIdentity)
            c.area = value;
        else if (modbus && (start == regIdentity || start == regBaudCode))
            ok = writeIdentity(c, start, value, a);
        else {
            a.reply = modbusException(address, function, illegalAddress);
            return a;
        }
        if (!ok) {
            a.reply = modbusException(address, function, illegalValue);
            return a;
        }
        a.reply.assign(req.begin(), req.end());
        return a;
    }

    // Write multiple registers: only the Modbus identity block takes them.
    if (!modbus) {
        a.reply = modbusException(address, function, illegalFunction);
        return a;
    }
    const std::uint16_t count = wordAt(req, 4);
    const std::uint8_t byteCount = req[6];
    if (count == 0 || byteCount != count * 2) {
        a.reply = modbusException(address, function, illegalValue);
        return a;
    }
    if (start < regIdentity || std::uint32_t{start} + count - 1 > regIdentityLast) {
        a.reply = modbusException(address, function, illegalAddress);
        return a;
    }
    Config next = c;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (!writeIdentity(next, static_cast<std::uint16_t>(start + i), wordAt(req, 7 + 2u * i), a)) {
            a.newBaud = 0;
            a.reply = modbusException(address, function, illegalValue);
            return a;
        }
    }
    c = next;
    a.reply.assign(req.begin(), req.begin() + 6);
    appendCrc(a.reply);
    return a;
}

} // namespace

bool isFdFrame(const Bytes& frame) {
    return frame.size() == 7 && frame[0] == fdByte && frame[1] == fdByte && frame[2] == fdByte;
}

int requestLength(const std::uint8_t* buf, std::size_t size) {
    if (size == 0) return 0;
    if (buf[0] == fdByte && (size < 2 || buf[1] == fdByte)) {
        if (size >= 3 && buf[2] != fdByte) return -1;
        return 7;
    }
    if (size < 2) return 0;
    switch (buf[1]) {
    case fnRead:
    case fnWriteOne: return 8;
    case fnWriteMany: return size < 7 ? 0 : 9 + buf[6];
    default: return -1;
    }
}

Answer answerRequest(const Bytes& request, std::uint32_t speed, Config& c) {
    // Anything but one whole frame is no request: its fields could lie past its end.
    if (requestLength(request.data(), request.size()) != static_cast<int>(request.size())) return {};
    if (!crcMatches(request) || speed != c.baud) return {};
    if (!isFdFrame(request)) return answerModbus(request, c);
    if (c.dialect == Dialect::Fd) return answerFd(request, c);
    return {};
}

} // namespace sim
