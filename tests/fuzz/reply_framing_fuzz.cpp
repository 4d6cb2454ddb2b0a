// Feeds line bytes to the reply framing against the shape of each request the
// frame builders make, and checks what a found reply promises: inside the
// bytes, of the shape's length (or an exception's), with a good CRC, and the
// same earliest frame however many bytes came after it.
//
// Input: byte 0 picks the request, byte 1 its address or value, byte 2 (when
// below count) the offset where a frame of the shape's length gets a correct
// CRC, the rest the line bytes.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/reply_framing.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

std::uint16_t buildRequest(std::uint8_t kind, std::uint8_t value, std::uint8_t* out) {
    switch (kind % 8) {
    case 0: return buildFdQuery(out);
    case 1: return buildFdSetAddress(out, value);
    case 2: return buildFdSetBaud(out, value % 3 + 1);
    case 3: return buildModbusIdentityQuery(out);
    case 4: return buildModbusIdentityWrite(out, value, value % 6);
    case 5: return buildReadMeasurement(out, value);
    case 6: return buildReadArea(out, value);
    default: return buildWriteArea(out, value, std::uint16_t(value * 257));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 3 + 600) return 0;
    std::uint8_t request[64];
    const ReplyShape shape = replyShapeFor(request, buildRequest(data[0], data[1], request));
    require(shape.length != 0);
    const auto count = std::uint16_t(size - 3);
    std::vector<std::uint8_t> line(data + 3, data + size); // exactly count bytes: reads past them are reported
    const std::uint16_t at = data[2];
    if (at < count && count - at >= shape.length) {
        const std::uint16_t crc = crc16(line.data() + at, shape.length - 2u);
        line[at + shape.length - 2u] = std::uint8_t(crc & 0xFF);
        line[at + shape.length - 1u] = std::uint8_t(crc >> 8);
    }

    const ReplyScan scan = scanReply(line.data(), count, shape);
    if (scan.state == ReplyScan::State::Complete) {
        require(scan.offset + scan.length <= count);
        require(scan.length == shape.length || (scan.exception && !shape.fd && scan.length == 5));
        require(crcMatches(line.data() + scan.offset, scan.length));
        // The bytes up to the end of the frame find the same frame.
        const auto end = std::uint16_t(scan.offset + scan.length);
        std::vector<std::uint8_t> head(line.begin(), line.begin() + end);
        const ReplyScan early = scanReply(head.data(), end, shape);
        require(early.state == ReplyScan::State::Complete && early.offset == scan.offset &&
                early.length == scan.length && early.exception == scan.exception);
    } else {
        std::uint8_t other = 0;
        const char* reason = unusableReason(line.data(), count, shape, other);
        require(reason != nullptr && std::strlen(reason) < 40);
        if (std::strcmp(reason, "reply from another address") == 0)
            require(!shape.fd && !shape.anyAddress && other != shape.address);
    }
    return 0;
}
