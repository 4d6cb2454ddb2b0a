#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FrameCase {
    const char* name;
    std::function<std::uint16_t(std::uint8_t*)> build;
    Bytes expected;
    friend void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }
};

class FrameTest : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameTest, BuildsTheRequestByteForByte) {
    const FrameCase& c = GetParam();
    std::uint8_t out[64];
    std::fill(std::begin(out), std::end(out), 0xEE);
    const std::uint16_t length = c.build(out);
    EXPECT_EQ(Bytes(out, out + length), c.expected);
    EXPECT_EQ(out[length], 0xEE) << "wrote past the frame";
}

INSTANTIATE_TEST_SUITE_P(
    BothDialectsAndAddresses, FrameTest,
    testing::Values(
        FrameCase{"fd_query", buildFdQuery, {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}},
        FrameCase{"fd_set_address_5",
                  [](std::uint8_t* o) { return buildFdSetAddress(o, 5); },
                  {0xFD, 0xFD, 0xFD, 0x00, 0x05, 0x29, 0x8B}},
        FrameCase{"fd_set_address_255",
                  [](std::uint8_t* o) { return buildFdSetAddress(o, 255); },
                  {0xFD, 0xFD, 0xFD, 0x00, 0xFF, 0xA9, 0xC8}},
        FrameCase{"fd_set_baud_2400",
                  [](std::uint8_t* o) { return buildFdSetBaud(o, 1); },
                  {0xFD, 0xFD, 0xFD, 0x01, 0x00, 0xE8, 0x18}},
        FrameCase{"fd_set_baud_4800",
                  [](std::uint8_t* o) { return buildFdSetBaud(o, 2); },
                  {0xFD, 0xFD, 0xFD, 0x02, 0x00, 0xE8, 0xE8}},
        FrameCase{"fd_set_baud_9600",
                  [](std::uint8_t* o) { return buildFdSetBaud(o, 3); },
                  {0xFD, 0xFD, 0xFD, 0x03, 0x00, 0xE9, 0x78}},
        FrameCase{"modbus_identity_query", buildModbusIdentityQuery, {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF}},
        FrameCase{"modbus_identity_write",
                  [](std::uint8_t* o) { return buildModbusIdentityWrite(o, 5, 3); },
                  {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x05, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                   0xAF, 0xF9}},
        FrameCase{"read_measurement_addr_1",
                  [](std::uint8_t* o) { return buildReadMeasurement(o, 0x01); },
                  {0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09}},
        FrameCase{"read_measurement_addr_ff",
                  [](std::uint8_t* o) { return buildReadMeasurement(o, 0xFF); },
                  {0xFF, 0x03, 0x00, 0x00, 0x00, 0x04, 0x51, 0xD7}},
        FrameCase{"read_area_addr_1",
                  [](std::uint8_t* o) { return buildReadArea(o, 0x01); },
                  {0x01, 0x03, 0x02, 0x00, 0x00, 0x01, 0x85, 0xB2}},
        FrameCase{"read_area_addr_ff",
                  [](std::uint8_t* o) { return buildReadArea(o, 0xFF); },
                  {0xFF, 0x03, 0x02, 0x00, 0x00, 0x01, 0x90, 0x6C}},
        FrameCase{"write_area_300_addr_1",
                  [](std::uint8_t* o) { return buildWriteArea(o, 0x01, 300); },
                  {0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3F}},
        FrameCase{"write_area_65535_addr_ff",
                  [](std::uint8_t* o) { return buildWriteArea(o, 0xFF, 65535); },
                  {0xFF, 0x06, 0x02, 0x00, 0xFF, 0xFF, 0x9C, 0x1C}}),
    [](const testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

struct BaudCodeCase {
    std::int32_t baud;
    std::uint8_t identityCode;
    std::uint8_t fdCode;
};

TEST(BaudCodes, IdentityAndFdCodesOfEachRate) {
    const BaudCodeCase cases[] = {
        {1200, 0, 0}, {2400, 1, 1}, {4800, 2, 2}, {9600, 3, 3}, {19200, 4, 0}, {38400, 5, 0}, {0, 2, 0}, {115200, 2, 0},
    };
    for (const BaudCodeCase& c : cases) {
        EXPECT_EQ(identityCodeFromBaud(c.baud), c.identityCode) << c.baud;
        EXPECT_EQ(fdCodeFromBaud(c.baud), c.fdCode) << c.baud;
    }
}

} // namespace
