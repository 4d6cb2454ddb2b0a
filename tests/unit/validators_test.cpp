#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <ostream>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Validator { Fd, ModbusIdentity, WriteAck, Measurement, Area, RegisterWrite };

struct Expected {
    std::uint8_t address = 0;
    std::int32_t baud = 0;
    std::uint8_t parityCode = 0, stopCheckA = 0, stopCheckB = 0;
    std::uint16_t velocityTenths = 0;
    float volume = 0;
    std::uint16_t area = 0;
};

struct ValidatorCase {
    const char* name;
    Validator validator;
    std::uint8_t frameAddress; // the address the request carried (register validators only)
    Bytes reply;
    bool accepted;
    Expected fields;
    friend void PrintTo(const ValidatorCase& c, std::ostream* os) { *os << c.name; }
};

class ValidatorTest : public testing::TestWithParam<ValidatorCase> {};

// Fields are preset to a sentinel so a rejecting validator is seen to leave them alone.
TEST_P(ValidatorTest, AcceptsOrRejectsAndParses) {
    const ValidatorCase& c = GetParam();
    // Exactly sized so that a read past the count trips the address sanitizer.
    const Bytes reply = c.reply;
    const std::uint8_t* bytes = reply.data();
    const auto count = std::uint16_t(reply.size());
    Identity identity{0x42, 1234, 9, 9, 9};
    Measurement measurement{4321, -1.0f};
    std::uint16_t area = 777;
    bool accepted = false;
    switch (c.validator) {
    case Validator::Fd: accepted = parseFdReply(bytes, count, identity); break;
    case Validator::ModbusIdentity: accepted = parseModbusIdentity(bytes, count, identity); break;
    case Validator::WriteAck: accepted = checkIdentityWriteAck(bytes, count); break;
    case Validator::Measurement: accepted = parseMeasurement(bytes, count, c.frameAddress, measurement); break;
    case Validator::Area: accepted = parseArea(bytes, count, c.frameAddress, area); break;
    case Validator::RegisterWrite: accepted = checkRegisterWrite(bytes, count, c.frameAddress); break;
    }
    ASSERT_EQ(accepted, c.accepted);
    if (!accepted) {
        EXPECT_EQ(identity.address, 0x42);
        EXPECT_EQ(identity.baud, 1234);
        EXPECT_EQ(identity.parityCode, 9);
        EXPECT_EQ(measurement.velocityTenths, 4321);
        EXPECT_EQ(area, 777);
        return;
    }
    switch (c.validator) {
    case Validator::ModbusIdentity:
        EXPECT_EQ(identity.parityCode, c.fields.parityCode);
        EXPECT_EQ(identity.stopCheckA, c.fields.stopCheckA);
        EXPECT_EQ(identity.stopCheckB, c.fields.stopCheckB);
        [[fallthrough]];
    case Validator::Fd:
        EXPECT_EQ(identity.address, c.fields.address);
        EXPECT_EQ(identity.baud, c.fields.baud);
        break;
    case Validator::Measurement:
        EXPECT_EQ(measurement.velocityTenths, c.fields.velocityTenths);
        EXPECT_EQ(measurement.volume, c.fields.volume);
        break;
    case Validator::Area: EXPECT_EQ(area, c.fields.area); break;
    default: break;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(OneReasonPerRow, ValidatorTest, testing::Values(
    // FD reply
    ValidatorCase{"fd_accepts_4800", Validator::Fd, 0, {0xFD, 0xFD, 0xFD, 0x02, 0x05, 0x28, 0xEB}, true, {.address = 5, .baud = 4800}},
    ValidatorCase{"fd_accepts_2400", Validator::Fd, 0, {0xFD, 0xFD, 0xFD, 0x01, 0x01, 0x29, 0xD8}, true, {.address = 1, .baud = 2400}},
    ValidatorCase{"fd_accepts_9600", Validator::Fd, 0, {0xFD, 0xFD, 0xFD, 0x03, 0x0A, 0x69, 0x7F}, true, {.address = 10, .baud = 9600}},
    ValidatorCase{"fd_bad_crc", Validator::Fd, 0, {0xFD, 0xFD, 0xFD, 0x02, 0x05, 0x28, 0xEA}, false, {}},
    ValidatorCase{"fd_code_4", Validator::Fd, 0, {0xFD, 0xFD, 0xFD, 0x04, 0x05, 0x2B, 0x4B}, false, {}},
    ValidatorCase{"fd_code_0", Validator::Fd, 0, {0xFD, 0xFD, 0xFD, 0x00, 0x05, 0x29, 0x8B}, false, {}},
    ValidatorCase{"fd_six_bytes_valid_crc", Validator::Fd, 0, {0xFD, 0xFD, 0xFD, 0x02, 0x61, 0x29}, false, {}},
    ValidatorCase{"fd_not_fd_header", Validator::Fd, 0, {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF}, false, {}},
    // Modbus identity reply
    ValidatorCase{"identity_accepts", Validator::ModbusIdentity, 0, {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x39, 0x99}, true, {.address = 0x11, .baud = 9600, .parityCode = 2, .stopCheckA = 0, .stopCheckB = 1}},
    ValidatorCase{"identity_baud_code_7_gives_0", Validator::ModbusIdentity, 0, {0xFF, 0x03, 0x0A, 0x00, 0x21, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x58}, true, {.address = 0x21, .baud = 0}},
    ValidatorCase{"identity_19200_parity_5_stop_a", Validator::ModbusIdentity, 0, {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x04, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x6A, 0x99}, true, {.address = 0x11, .baud = 19200, .parityCode = 5, .stopCheckA = 1, .stopCheckB = 0}},
    ValidatorCase{"identity_bad_crc", Validator::ModbusIdentity, 0, {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81, 0x98}, false, {}},
    ValidatorCase{"identity_eight_bytes_valid_crc", Validator::ModbusIdentity, 0, {0xFF, 0x03, 0x0A, 0x00, 0x11, 0x00, 0x5F, 0x9C}, false, {}},
    ValidatorCase{"identity_exception", Validator::ModbusIdentity, 0, {0xFF, 0x90, 0x01, 0xEC, 0x30}, false, {}},
    ValidatorCase{"identity_wrong_function_write_echo", Validator::ModbusIdentity, 0, {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x14, 0x6C}, false, {}},
    // Identity write acknowledgement
    ValidatorCase{"ack_accepts", Validator::WriteAck, 0, {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x14, 0x6C}, true, {}},
    ValidatorCase{"ack_bad_crc", Validator::WriteAck, 0, {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x14, 0x6D}, false, {}},
    ValidatorCase{"ack_exception", Validator::WriteAck, 0, {0xFF, 0x90, 0x01, 0xEC, 0x30}, false, {}},
    ValidatorCase{"ack_seven_bytes", Validator::WriteAck, 0, {0xFF, 0x10, 0x02, 0x00, 0x00, 0x95, 0x14}, false, {}},
    // Register read: measurement (four registers) and area (one)
    ValidatorCase{"measurement_accepts", Validator::Measurement, 0x01, {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0xCA, 0xFA}, true, {.velocityTenths = 123, .volume = 12.5f}},
    ValidatorCase{"measurement_from_ff", Validator::Measurement, 0xFF, {0xFF, 0x03, 0x08, 0xFF, 0xFF, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0x76, 0x1D}, true, {.velocityTenths = 65535, .volume = 12.5f}},
    ValidatorCase{"measurement_wrong_address", Validator::Measurement, 0xFF, {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0xCA, 0xFA}, false, {}},
    ValidatorCase{"measurement_bad_crc", Validator::Measurement, 0x01, {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x41, 0x48, 0x00, 0x00, 0xCA, 0xFB}, false, {}},
    ValidatorCase{"measurement_exception", Validator::Measurement, 0x01, {0x01, 0x83, 0x02, 0x00, 0x00, 0x91, 0x84}, false, {}},
    ValidatorCase{"measurement_byte_count_too_small", Validator::Measurement, 0x01, {0x01, 0x03, 0x02, 0x00, 0x7B, 0xF8, 0x67}, false, {}},
    ValidatorCase{"measurement_shorter_than_byte_count", Validator::Measurement, 0x01, {0x01, 0x03, 0x08, 0x00, 0x7B, 0xD8, 0x65}, false, {}},
    ValidatorCase{"area_accepts", Validator::Area, 0x01, {0x01, 0x03, 0x02, 0x01, 0x2C, 0xB8, 0x09}, true, {.area = 300}},
    ValidatorCase{"area_wrong_function", Validator::Area, 0x01, {0x01, 0x04, 0x02, 0x01, 0x2C, 0xB9, 0x7D}, false, {}},
    ValidatorCase{"area_longer_than_byte_count", Validator::Area, 0x01, {0x01, 0x03, 0x02, 0x01, 0x2C, 0x00, 0x09, 0x72}, false, {}},
    ValidatorCase{"area_wrong_address", Validator::Area, 0x01, {0xFE, 0x03, 0x02, 0x01, 0x2C, 0xAC, 0x1D}, false, {}},
    // Register write reply
    ValidatorCase{"write_accepts", Validator::RegisterWrite, 0xFF, {0xFF, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x9D, 0xE1}, true, {}},
    ValidatorCase{"write_wrong_address", Validator::RegisterWrite, 0x01, {0xFF, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x9D, 0xE1}, false, {}},
    ValidatorCase{"write_bad_crc", Validator::RegisterWrite, 0x01, {0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3E}, false, {}},
    ValidatorCase{"write_seven_bytes", Validator::RegisterWrite, 0x01, {0x01, 0x06, 0x02, 0x00, 0x01, 0x79, 0x48}, false, {}},
    ValidatorCase{"write_read_function", Validator::RegisterWrite, 0x01, {0x01, 0x03, 0x02, 0x00, 0x00, 0x01, 0x85, 0xB2}, false, {}}
),
    [](const testing::TestParamInfo<ValidatorCase>& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
