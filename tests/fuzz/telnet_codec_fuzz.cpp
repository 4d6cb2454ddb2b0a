// Feeds a device server's bytes to the Telnet codec in chunks the input
// chooses, and checks the chunked decode against one decode of the whole
// stream: a cut anywhere must change neither the data, the option states, the
// answers nor the COM-PORT replies. Also round-trips serial data through
// encodeData and decode, binary or not.
//
// Input: bytes 0-3 give the chunk sizes in turn (1 to 64), byte 4 bit 0 asks
// for binary mode in the round trip, the rest is the server's stream.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "serial/net/telnet_codec.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool sameReplies(const ComPortReplies& a, const ComPortReplies& b) {
    return a.baudSeen == b.baudSeen && a.dataSizeSeen == b.dataSizeSeen && a.paritySeen == b.paritySeen &&
           a.stopSizeSeen == b.stopSizeSeen && a.baud == b.baud && a.dataSize == b.dataSize && a.parity == b.parity &&
           a.stopSize == b.stopSize && a.purges == b.purges;
}

// Decodes in into a buffer of exactly its size, so that a write past the data
// out is an address-sanitizer report.
std::vector<std::uint8_t> decodeAll(TelnetCodec& codec, const std::vector<std::uint8_t>& in) {
    std::vector<std::uint8_t> out(in.size());
    const std::size_t n = codec.decode(in.data(), in.size(), out.data());
    require(n <= in.size());
    out.resize(n);
    return out;
}

void roundTrip(const std::uint8_t* data, std::size_t size, bool binary) {
    TelnetCodec client, server;
    if (binary) { // the server agrees to take binary; our peer decoder hears that we send it
        const std::uint8_t doBinary[] = {telnet::kIac, telnet::kDo, telnet::kBinary};
        const std::uint8_t willBinary[] = {telnet::kIac, telnet::kWill, telnet::kBinary};
        std::uint8_t none[3];
        require(client.decode(doBinary, 3, none) == 0 && server.decode(willBinary, 3, none) == 0);
    }
    std::vector<std::uint8_t> wire(2 * size);
    wire.resize(client.encodeData(data, size, wire.data()));
    require(decodeAll(server, wire) == std::vector<std::uint8_t>(data, data + size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    const std::uint8_t* chunks = data;
    const bool binary = data[4] & 1;
    const std::vector<std::uint8_t> stream(data + 5, data + size);

    TelnetCodec whole;
    std::vector<std::uint8_t> opening(15);
    require(whole.encodeOpening(opening.data()) <= opening.size());
    TelnetCodec cut = whole;
    const std::vector<std::uint8_t> wholeData = decodeAll(whole, stream);

    std::vector<std::uint8_t> cutData, cutAnswers;
    for (std::size_t at = 0, i = 0; at < stream.size(); ++i) {
        const std::size_t take = std::min<std::size_t>(chunks[i % 4] % 64 + 1, stream.size() - at);
        // In place, as the port decodes its receive buffer.
        std::vector<std::uint8_t> piece(stream.begin() + long(at), stream.begin() + long(at + take));
        const std::size_t n = cut.decode(piece.data(), take, piece.data());
        require(n <= take);
        cutData.insert(cutData.end(), piece.begin(), piece.begin() + long(n));
        require(cut.answerCount() <= 64);
        cutAnswers.insert(cutAnswers.end(), cut.answers(), cut.answers() + cut.answerCount());
        cut.clearAnswers();
        at += take;
    }
    require(cutData == wholeData);
    require(sameReplies(cut.replies(), whole.replies()));
    for (unsigned option = 0; option < 256; ++option) {
        require(cut.ours(std::uint8_t(option)) == whole.ours(std::uint8_t(option)));
        require(cut.theirs(std::uint8_t(option)) == whole.theirs(std::uint8_t(option)));
    }
    // One decode keeps at most 64 bytes of answers; below 62 none was dropped.
    if (whole.answerCount() < 62)
        require(cutAnswers == std::vector<std::uint8_t>(whole.answers(), whole.answers() + whole.answerCount()));

    std::vector<std::uint8_t> settings(telnet::kMaxSettingsBytes);
    std::uint32_t baud = 0;
    std::memcpy(&baud, data, 4);
    require(whole.encodeLineSettings(baud, data[4], data[4] >> 2 & 3, data[4] >> 4 & 3, settings.data()) <=
            settings.size());
    roundTrip(stream.data(), stream.size(), binary);
    return 0;
}
