#pragma once
// The MBAP header of Modbus TCP, free of any socket: an RTU request (address,
// PDU, CRC) becomes a request to a gateway, and the gateway's replies become
// RTU frames again, with their CRC, so that what reads them need not know.
//
// A reply counts only for the request outstanding: another transaction's,
// another unit's or one whose header no Modbus TCP reply has is dropped,
// never taken as the answer. The stream may be cut anywhere. Nothing here
// allocates.

#include <cstddef>
#include <cstdint>

namespace mbap {

inline constexpr std::size_t kHeader = 7;   // transaction, protocol, length (2 bytes each), unit
inline constexpr std::size_t kMaxPdu = 253; // function code and data
inline constexpr std::size_t kMaxAdu = kHeader + kMaxPdu;
inline constexpr std::size_t kMaxRtu = 1 + kMaxPdu + 2; // address, PDU, CRC

// The gateway's own exceptions: no path to the line, or nothing answered on it.
inline constexpr std::uint8_t kPathUnavailable = 0x0A;
inline constexpr std::uint8_t kTargetNoResponse = 0x0B;

// The CRC of Modbus RTU (reflected 0xA001, initial 0xFFFF), low byte first on the line.
std::uint16_t rtuCrc(const std::uint8_t* bytes, std::size_t count);

// Writes the MBAP request for the RTU request rtu[0..length) under transaction
// to out (kMaxAdu bytes at most). 0 when rtu is no RTU frame: too short or
// long, or its CRC does not check.
std::size_t encodeRequest(const std::uint8_t* rtu, std::size_t length, std::uint16_t transaction, std::uint8_t* out);

} // namespace mbap

class MbapReplies {
public:
    enum class Outcome : std::uint8_t {
        Need,             // no whole reply for the request yet: receive more
        Answer,           // the reply, as an RTU frame
        PathUnavailable,  // the gateway's exception 0x0A for the request
        TargetNoResponse, // the gateway's exception 0x0B for the request
        Broken,           // the stream is no Modbus TCP; why() says how
    };

    // Forgets everything: for a new connection.
    void reset();
    // The request now outstanding: replies must carry its transaction and unit.
    void expect(std::uint16_t transaction, std::uint8_t unit);

    // Where the next bytes received go, and how many fit (never 0 unless Broken).
    std::uint8_t* space() { return buffer_ + tail_; }
    std::size_t room() const { return sizeof buffer_ - tail_; }
    void received(std::size_t count) { tail_ += count; }

    // Takes whole replies from what was received until one counts: Answer
    // writes it to rtu (kMaxRtu bytes) and its length to rtuLength.
    Outcome next(std::uint8_t* rtu, std::size_t& rtuLength);
    const char* why() const { return why_; }

private:
    // Replies to the few transactions before the outstanding one may still
    // come late, after their own wait ended; older ones were never asked.
    static constexpr std::uint16_t kLateWindow = 16;
    // More replies than this for other requests in one wait is a flood.
    static constexpr unsigned kMaxDropped = 64;

    Outcome broken(const char* why);
    bool asked(std::uint16_t transaction) const;

    std::uint8_t buffer_[2 * mbap::kMaxAdu];
    std::size_t head_ = 0, tail_ = 0;
    std::uint16_t transaction_ = 0;
    std::uint8_t unit_ = 0;
    bool expecting_ = false; // a request is outstanding
    bool anyAsked_ = false;  // a request went out on this connection
    unsigned dropped_ = 0;
    const char* why_ = "";
    char whyText_[96] = "";
};
