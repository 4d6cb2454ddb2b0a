#include "serial/net/mbap.h"

#include <cstdio>
#include <cstring>

namespace {

std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }

} // namespace

// Here rather than from the protocol library, which sits above the ports.
std::uint16_t mbap::rtuCrc(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? std::uint16_t((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

std::size_t mbap::encodeRequest(const std::uint8_t* rtu, std::size_t length, std::uint16_t transaction,
                                std::uint8_t* out) {
    if (length < 4 || length > kMaxRtu) return 0;
    const std::uint16_t crc = rtuCrc(rtu, length - 2);
    if (rtu[length - 2] != (crc & 0xFF) || rtu[length - 1] != crc >> 8) return 0;
    const std::size_t unitAndPdu = length - 2;
    out[0] = std::uint8_t(transaction >> 8);
    out[1] = std::uint8_t(transaction);
    out[2] = out[3] = 0;
    out[4] = std::uint8_t(unitAndPdu >> 8);
    out[5] = std::uint8_t(unitAndPdu);
    std::memcpy(out + 6, rtu, unitAndPdu);
    return 6 + unitAndPdu;
}

void MbapReplies::reset() { *this = MbapReplies{}; }

void MbapReplies::expect(std::uint16_t transaction, std::uint8_t unit) {
    transaction_ = transaction;
    unit_ = unit;
    expecting_ = anyAsked_ = true;
    dropped_ = 0;
}

MbapReplies::Outcome MbapReplies::broken(const char* why) {
    why_ = why;
    head_ = tail_ = 0;
    return Outcome::Broken;
}

bool MbapReplies::asked(std::uint16_t transaction) const {
    return anyAsked_ && std::uint16_t(transaction_ - transaction) < kLateWindow;
}

MbapReplies::Outcome MbapReplies::next(std::uint8_t* rtu, std::size_t& rtuLength) {
    for (;;) {
        const std::uint8_t* at = buffer_ + head_;
        const std::size_t have = tail_ - head_;
        if (have < mbap::kHeader) break;
        const std::uint16_t transaction = be16(at), length = be16(at + 4);
        if (be16(at + 2) != 0) return broken("a header with a protocol identifier other than 0 (Modbus)");
        if (length < 2 || length > 1 + mbap::kMaxPdu) {
            std::snprintf(whyText_, sizeof whyText_, "a header with length %u, which no Modbus reply has",
                          unsigned(length));
            return broken(whyText_);
        }
        if (!asked(transaction)) {
            std::snprintf(whyText_, sizeof whyText_, "a reply to transaction %u, which was never asked",
                          unsigned(transaction));
            return broken(whyText_);
        }
        const std::size_t whole = 6 + std::size_t(length);
        if (have < whole) break;
        head_ += whole;
        const std::uint8_t* pdu = at + mbap::kHeader;
        const std::size_t pduLength = length - 1u;
        if (!expecting_ || transaction != transaction_ || at[6] != unit_) {
            if (++dropped_ > kMaxDropped) return broken("a flood of replies to other requests");
            continue;
        }
        expecting_ = false;
        if (pduLength == 2 && (pdu[0] & 0x80) != 0 && pdu[1] == mbap::kPathUnavailable) return Outcome::PathUnavailable;
        if (pduLength == 2 && (pdu[0] & 0x80) != 0 && pdu[1] == mbap::kTargetNoResponse)
            return Outcome::TargetNoResponse;
        rtu[0] = at[6];
        std::memcpy(rtu + 1, pdu, pduLength);
        const std::uint16_t crc = mbap::rtuCrc(rtu, 1 + pduLength);
        rtu[1 + pduLength] = std::uint8_t(crc & 0xFF);
        rtu[2 + pduLength] = std::uint8_t(crc >> 8);
        rtuLength = 3 + pduLength;
        return Outcome::Answer;
    }
    // Room for a whole reply after what is kept.
    if (head_ > 0) {
        std::memmove(buffer_, buffer_ + head_, tail_ - head_);
        tail_ -= head_;
        head_ = 0;
    }
    return Outcome::Need;
}
