#pragma once
// Finding a reply in a byte stream by its known length.
//
// Every request has a reply of a known shape: an FD reply is 7 bytes, a
// register read 5 + 2n, a register or identity write 8, a Modbus exception 5.
// A caller that waits for a reply can therefore release it the moment the
// bytes that check have arrived, and skip stray bytes in front of it. Pure
// functions; they read bytes[0..count) only.

#include <cstdint>

struct ReplyShape {
    bool fd = false;            // FD FD FD code addr CRC, 7 bytes
    bool anyAddress = false;    // Modbus identity replies come from whatever address the transmitter has
    std::uint8_t address = 0;   // register frames: the address the reply must come from
    std::uint8_t function = 0;  // register frames: 0x03, 0x06 or 0x10
    std::uint8_t byteCount = 0; // register reads: the byte-count byte of the reply
    std::uint16_t length = 0;   // the whole reply, CRC included; 0 = the request has no known reply
};

// The reply shape of a request built by the frame builders.
ReplyShape replyShapeFor(const std::uint8_t* request, std::uint16_t length);

struct ReplyScan {
    enum class State : std::uint8_t {
        Waiting,  // a reply may still be completed by bytes to come
        Complete, // a frame of the shape with a good CRC is at offset
        Unusable, // no arrangement of further bytes can complete a reply here
    };
    State state = State::Waiting;
    std::uint16_t offset = 0;
    std::uint16_t length = 0;
    bool exception = false; // a Modbus exception, or an FD reply with the command's top bit set
};

// Looks for the earliest frame of the shape whose CRC checks.
ReplyScan scanReply(const std::uint8_t* bytes, std::uint16_t count, const ReplyShape& shape);

// Why bytes that hold no usable reply were refused, for a person to read:
// "bad CRC", "reply from address N", or "no valid frame".
const char* unusableReason(const std::uint8_t* bytes, std::uint16_t count, const ReplyShape& shape,
                           std::uint8_t& otherAddress);
