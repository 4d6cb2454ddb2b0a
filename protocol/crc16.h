#pragma once
#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS (init 0xFFFF, reflected polynomial 0xA001, no final XOR).
// Frames carry it low byte first.
std::uint16_t crc16(const std::uint8_t* bytes, std::size_t count);
