// Feeds a gateway's bytes to the MBAP reply decoding in chunks the input
// chooses, and checks what comes out: a reply handed on is for the request
// outstanding, no longer than an RTU frame can be, and carries a CRC that
// checks; nothing is read or written out of bounds; and once the stream is
// judged broken, nothing more is taken from it.
//
// Input: bytes 0-1 the transaction outstanding, byte 2 its unit, byte 3 the
// chunk size (1 to 64), the rest is the gateway's stream.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "serial/net/mbap.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint16_t transaction = std::uint16_t(data[0] << 8 | data[1]);
    const std::uint8_t unit = data[2];
    const std::size_t chunk = 1 + data[3] % 64;
    data += 4;
    size -= 4;

    MbapReplies replies;
    replies.expect(transaction, unit);
    std::uint8_t rtu[mbap::kMaxRtu];
    bool answered = false;
    for (std::size_t at = 0; at < size;) {
        const std::size_t take = std::min({chunk, size - at, replies.room()});
        require(take > 0);
        std::memcpy(replies.space(), data + at, take);
        replies.received(take);
        at += take;
        std::size_t length = 0;
        const MbapReplies::Outcome outcome = replies.next(rtu, length);
        if (outcome == MbapReplies::Outcome::Broken) return 0;
        if (outcome != MbapReplies::Outcome::Answer) continue;
        // One answer per request: a second reply to the same transaction is dropped.
        require(!answered);
        answered = true;
        require(length >= 3 && length <= mbap::kMaxRtu);
        require(rtu[0] == unit);
        require(mbap::rtuCrc(rtu, length) == 0);
    }

    // A request built from the stream is sent only if it is an RTU frame, and its header says so.
    std::uint8_t adu[mbap::kMaxAdu];
    const std::size_t length = mbap::encodeRequest(data, std::min<std::size_t>(size, mbap::kMaxRtu), transaction, adu);
    if (length != 0) {
        require(length == std::min<std::size_t>(size, mbap::kMaxRtu) + 4);
        require(std::size_t(adu[4] << 8 | adu[5]) == length - 6 && adu[6] == data[0]);
    }
    return 0;
}
