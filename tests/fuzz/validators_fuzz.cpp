// Feeds arbitrary replies to every reply validator, the measurement parsing and
// text, and the box-number parsers.
//
// Input: byte 0 is the address the request carried, bytes 1-2 (little-endian,
// modulo 1025) the reply count, byte 3 bit 0 asks for a correct CRC at the end
// (so that the checks behind the CRC get explored), the rest the reply bytes,
// repeated to fill the count. The reply lives in a buffer of exactly count bytes, so any read past
// the count is an address-sanitizer report.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "window/number_text.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t address = data[0];
    const auto count = std::uint16_t((data[1] | data[2] << 8) % 1025);
    const bool fixCrc = data[3] & 1;
    const std::uint8_t* content = data + 4;
    const std::size_t contentSize = size - 4;

    std::vector<std::uint8_t> reply(count);
    for (std::size_t i = 0; i < count && contentSize != 0; ++i) reply[i] = content[i % contentSize];
    if (fixCrc && count >= 2) {
        const std::uint16_t crc = crc16(reply.data(), count - 2u);
        reply[count - 2] = std::uint8_t(crc & 0xFF);
        reply[count - 1] = std::uint8_t(crc >> 8);
        require(crcMatches(reply.data(), count));
    }
    const std::uint8_t* bytes = reply.data();

    Identity identity;
    if (parseFdReply(bytes, count, identity)) {
        require(count >= 7 && bytes[0] == 0xFD);
        require(identity.baud == 2400 || identity.baud == 4800 || identity.baud == 9600);
    }
    if (parseModbusIdentity(bytes, count, identity)) require(count >= 15 && bytes[1] == 0x03);
    if (checkIdentityWriteAck(bytes, count)) require(count >= 8 && bytes[1] == 0x10);
    if (checkRegisterWrite(bytes, count, address)) require(count >= 8 && bytes[0] == address);

    Measurement measurement;
    if (parseMeasurement(bytes, count, address, measurement)) {
        require(count >= 13 && bytes[0] == address && bytes[1] == 0x03);
        const MeasurementText text = measurementText(measurement);
        require(std::strlen(text.volume) < sizeof text.volume - 1);
    }
    std::uint16_t area = 0;
    if (parseArea(bytes, count, address, area)) require(count >= 7 && bytes[1] == 0x03);

    // Arbitrary measurement values, whatever the reply's validity.
    if (count >= 6) {
        Measurement any;
        any.velocityTenths = std::uint16_t(bytes[0] << 8 | bytes[1]);
        std::uint32_t bits =
            std::uint32_t(bytes[2]) << 24 | std::uint32_t(bytes[3]) << 16 | std::uint32_t(bytes[4]) << 8 | bytes[5];
        std::memcpy(&any.volume, &bits, sizeof bits);
        const MeasurementText text = measurementText(any);
        require(std::strlen(text.velocity) < sizeof text.velocity - 1);
        require(std::strlen(text.volume) < sizeof text.volume - 1);
    }

    const std::string_view text(reinterpret_cast<const char*>(content), contentSize);
    std::int32_t value = 0;
    parseBoxInt(text, value);
    std::uint16_t typedArea = 0;
    parseAreaText(text, typedArea);
    return 0;
}
