#pragma once
// What the two dialects mean to every program that talks to a transmitter:
// the order detection tries them in, the frames that read and change the
// identity under each, and the address register frames carry. Pure functions
// over the frame builders and validators; callers do their own waiting and
// reporting.

#include <cstdint>

#include "protocol/frames.h"

// FD: the short FD frames for the identity, register frames to the transmitter's
// own address. Modbus: the identity block, every frame to kModbusAddress.
enum class Dialect : std::uint8_t { Fd, Modbus };

struct DetectionAttempt {
    Dialect dialect;
    std::int32_t baud; // bit/s
};

// Detection's attempts, in order; the first identity reply that checks ends it.
inline constexpr DetectionAttempt kDetectionPlan[] = {
    {Dialect::Fd, 2400}, {Dialect::Fd, 4800}, {Dialect::Fd, 9600}, {Dialect::Modbus, 9600}};

// Where the command-line tool looks on when the window's plan found nothing: a
// Modbus transmitter given another rate is found there again.
inline constexpr DetectionAttempt kFurtherModbusAttempts[] = {{Dialect::Modbus, 4800}, {Dialect::Modbus, 2400}};

// Whether a transmitter of the dialect can run at baud: 2400, 4800 or 9600
// for FD, any rate the identity block can name for Modbus (1200 to 38400).
bool baudAllowed(Dialect dialect, std::int32_t baud);
// Whether a transmitter may be set to baud: only rates where detection, with
// the further attempts, finds it again.
bool baudSettable(Dialect dialect, std::int32_t baud);

// The address byte of register frames (measurement, duct area).
std::uint8_t registerAddress(Dialect dialect, std::uint8_t deviceAddress);

std::uint16_t buildIdentityQuery(std::uint8_t* out, Dialect dialect);
// Fills address and baud; the Modbus dialect also fills the line checks.
bool parseIdentityReply(const std::uint8_t* reply, std::uint16_t count, Dialect dialect, Identity& out);

enum class IdentityField : std::uint8_t { Address, Baud };

// The request that gives the transmitter the identity `wanted` (address and
// baud), changing `field`. FD sends only that field; the Modbus identity write
// always carries both, so the other must be what the transmitter has.
std::uint16_t buildIdentityWrite(std::uint8_t* out, Dialect dialect, IdentityField field, const Identity& wanted);

// Whether reply acknowledges an identity write of `written`. An FD transmitter
// acknowledges with an FD reply naming its new address and rate, which then
// replace those in written; a Modbus acknowledgement names nothing, and written
// stays as it was.
bool acceptIdentityWrite(const std::uint8_t* reply, std::uint16_t count, Dialect dialect, Identity& written);
