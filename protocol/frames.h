#pragma once
// Request frames and reply validators of both dialects.
//
// Builders write one request from out[0] (19 bytes at most) and return its
// length in bytes, CRC included. Validators are pure: they read reply[0..count)
// only, never past count, and fill their output only when they accept.

#include <cstdint>

inline constexpr std::uint8_t kModbusAddress = 0xFF; // every frame's address in the Modbus dialect
inline constexpr std::uint16_t kMaxFrameLength = 19;

std::uint16_t buildFdQuery(std::uint8_t* out);
std::uint16_t buildFdSetAddress(std::uint8_t* out, std::uint8_t address);
std::uint16_t buildFdSetBaud(std::uint8_t* out, std::uint8_t baudCode); // code 1, 2 or 3
std::uint16_t buildModbusIdentityQuery(std::uint8_t* out);
std::uint16_t buildModbusIdentityWrite(std::uint8_t* out, std::uint8_t address, std::uint8_t baudCode);
std::uint16_t buildReadMeasurement(std::uint8_t* out, std::uint8_t address);
std::uint16_t buildReadArea(std::uint8_t* out, std::uint8_t address);
std::uint16_t buildWriteArea(std::uint8_t* out, std::uint8_t address, std::uint16_t area);

// bit/s for an identity-block baud code 0..5; 0 for any other code.
std::int32_t baudFromIdentityCode(std::uint8_t code);
// The identity-block code of a rate; 2 (4800) for a rate the block cannot name.
std::uint8_t identityCodeFromBaud(std::int32_t baud);
// The FD set-baud code (1, 2, 3) of 2400, 4800 or 9600; 0 for any other rate.
std::uint8_t fdCodeFromBaud(std::int32_t baud);

// True when the last two bytes are the little-endian CRC of the bytes before.
bool crcMatches(const std::uint8_t* reply, std::uint16_t count);

struct Identity {
    std::uint8_t address = 0;
    std::int32_t baud = 0;
    std::uint8_t parityCode = 0; // Modbus identity only
    std::uint8_t stopCheckA = 0; // Modbus identity only
    std::uint8_t stopCheckB = 0; // Modbus identity only
};

// FD FD FD code addr CRC, code 1..3. Fills address and baud.
bool parseFdReply(const std::uint8_t* reply, std::uint16_t count, Identity& out);

// Reply to the five-register identity read: any address, function 03, byte
// count 10. Fills every field; an unknown baud code gives baud 0 and is accepted.
bool parseModbusIdentity(const std::uint8_t* reply, std::uint16_t count, Identity& out);

// Acknowledgement of the identity write: function 10 and at least 8 bytes.
bool checkIdentityWriteAck(const std::uint8_t* reply, std::uint16_t count);

// Reply to a read of registerCount registers from address: function 03, a byte
// count covering the registers, and exactly 5 + byte count bytes.
bool checkRegisterRead(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address,
                       std::uint8_t registerCount);

// Reply to a single-register write to address: function 06, at least 8 bytes.
bool checkRegisterWrite(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address);

struct Measurement {
    std::uint16_t velocityTenths = 0; // m/s × 10
    float volume = 0;                 // m3/h
};

// The display text of a measurement, shared by the window and the CLI:
// velocity "%d.%d" (m/s), volume "%f" (m3/h); both fit for every input, NaN and
// infinities included.
struct MeasurementText {
    char velocity[16];
    char volume[64]; // FLT_MAX needs 46 characters
};
MeasurementText measurementText(const Measurement& measurement);

bool parseMeasurement(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address, Measurement& out);
bool parseArea(const std::uint8_t* reply, std::uint16_t count, std::uint8_t address, std::uint16_t& area);
