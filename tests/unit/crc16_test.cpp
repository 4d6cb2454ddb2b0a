#include "protocol/crc16.h"

#include <gtest/gtest.h>

#include <ostream>

#include <vector>

namespace {

struct CrcCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::uint8_t wireLow;
    std::uint8_t wireHigh;
    friend void PrintTo(const CrcCase& c, std::ostream* os) { *os << c.name; }
};

class Crc16Test : public testing::TestWithParam<CrcCase> {};

TEST_P(Crc16Test, GivesTheModbusCheckValueLowByteFirst) {
    const CrcCase& c = GetParam();
    const std::uint16_t crc = crc16(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(crc & 0xFF, c.wireLow);
    EXPECT_EQ(crc >> 8, c.wireHigh);
}

INSTANTIATE_TEST_SUITE_P(
    KnownValues, Crc16Test,
    testing::Values(CrcCase{"check_string", {'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x37, 0x4B},
                    CrcCase{"fd_query", {0xFD, 0xFD, 0xFD, 0x00, 0x00}, 0xE9, 0x88},
                    CrcCase{"modbus_identity_query", {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05}, 0x91, 0xAF},
                    CrcCase{"read_one_register", {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x84, 0x0A},
                    CrcCase{"empty", {}, 0xFF, 0xFF}),
    [](const testing::TestParamInfo<CrcCase>& info) { return std::string(info.param.name); });

} // namespace
