#include "protocol/reply_framing.h"

#include "protocol/frames.h"

namespace {

constexpr std::uint8_t kFdByte = 0xFD;
constexpr std::uint16_t kFdLength = 7;
constexpr std::uint16_t kExceptionLength = 5;
constexpr std::uint8_t kExceptionBit = 0x80;

// The full length of a frame of the shape starting at bytes[0..available),
// judged by the bytes there are; 0 when those bytes already rule it out.
// ignoreAddress looks past the address byte, to tell a wrong-address reply.
std::uint16_t candidateLength(const std::uint8_t* bytes, std::uint16_t available, const ReplyShape& shape,
                              bool ignoreAddress, bool& exception) {
    exception = false;
    if (shape.fd) {
        for (std::uint16_t i = 0; i < 3 && i < available; ++i)
            if (bytes[i] != kFdByte) return 0;
        if (available > 3) exception = (bytes[3] & kExceptionBit) != 0;
        return kFdLength;
    }
    if (!ignoreAddress && !shape.anyAddress && bytes[0] != shape.address) return 0;
    if (available < 2) return shape.length;
    if (bytes[1] == (shape.function | kExceptionBit)) {
        exception = true;
        return kExceptionLength;
    }
    if (bytes[1] != shape.function) return 0;
    if (shape.byteCount != 0 && available > 2 && bytes[2] != shape.byteCount) return 0;
    return shape.length;
}

} // namespace

ReplyShape replyShapeFor(const std::uint8_t* request, std::uint16_t length) {
    ReplyShape shape;
    if (length >= kFdLength && request[0] == kFdByte && request[1] == kFdByte && request[2] == kFdByte) {
        shape.fd = true;
        shape.length = kFdLength;
        return shape;
    }
    if (length < 8) return shape;
    shape.address = request[0];
    shape.function = request[1];
    const std::uint16_t registers = std::uint16_t(request[4] << 8 | request[5]);
    switch (shape.function) {
    case 0x03:
        if (registers == 0 || registers > 125) return shape;
        shape.byteCount = std::uint8_t(2 * registers);
        shape.length = std::uint16_t(5 + 2 * registers);
        // The identity block answers from the transmitter's own address.
        shape.anyAddress = shape.address == kModbusAddress && registers == 5;
        break;
    case 0x06: shape.length = 8; break;
    case 0x10:
        shape.length = 8;
        shape.anyAddress = true;
        break;
    default: break;
    }
    return shape;
}

ReplyScan scanReply(const std::uint8_t* bytes, std::uint16_t count, const ReplyShape& shape) {
    ReplyScan scan;
    scan.state = ReplyScan::State::Unusable;
    if (shape.length == 0) return scan;
    for (std::uint16_t at = 0; at < count; ++at) {
        const std::uint16_t available = std::uint16_t(count - at);
        bool exception = false;
        const std::uint16_t length = candidateLength(bytes + at, available, shape, false, exception);
        if (length == 0) continue;
        if (available < length) {
            // Under any address every byte could start a reply; a lone last
            // byte is not yet a reason to wait longer than the quiet gap.
            if (available > 1 || !shape.anyAddress || shape.fd) scan.state = ReplyScan::State::Waiting;
            continue;
        }
        if (crcMatches(bytes + at, length)) {
            scan.state = ReplyScan::State::Complete;
            scan.offset = at;
            scan.length = length;
            scan.exception = exception;
            return scan;
        }
    }
    if (count == 0) scan.state = ReplyScan::State::Waiting;
    return scan;
}

const char* unusableReason(const std::uint8_t* bytes, std::uint16_t count, const ReplyShape& shape,
                           std::uint8_t& otherAddress) {
    bool badCrc = false;
    bool partial = false;
    for (std::uint16_t at = 0; at < count; ++at) {
        const std::uint16_t available = std::uint16_t(count - at);
        bool exception = false;
        const std::uint16_t length = candidateLength(bytes + at, available, shape, true, exception);
        if (length == 0) continue;
        const bool ownAddress = shape.fd || shape.anyAddress || bytes[at] == shape.address;
        if (available < length) {
            partial = partial || (ownAddress && available > 1);
            continue;
        }
        if (!crcMatches(bytes + at, length)) {
            badCrc = badCrc || ownAddress;
            continue;
        }
        if (!ownAddress) {
            otherAddress = bytes[at];
            return "reply from another address";
        }
    }
    if (badCrc) return "bad CRC";
    return partial ? "incomplete reply" : "no valid frame";
}
