// Feeds a line's bytes to the software transmitter's request framing and
// answering, as its serving loop takes them, and also whole inputs as one
// request: no read outside the request, a frame taken that judges itself
// of the same length, and answers a transmitter could give.
//
// Input: byte 0 bit 0 picks the dialect, byte 1 the transmitter's address,
// byte 2 its baud rate, the rest the line bytes.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "sim/answer.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

constexpr std::uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400};

void checkAnswer(const sim::Bytes& request, sim::Config& config) {
    const sim::Config before = config;
    const sim::Answer answer = sim::answerRequest(request, config.baud, config);
    require(config.dialect == before.dialect && config.baud == before.baud);
    require(answer.newBaud == 0 || std::find(std::begin(kBauds), std::end(kBauds), answer.newBaud) != std::end(kBauds));
    if (answer.reply.empty()) return;
    sim::Bytes unsigned_(answer.reply.begin(), answer.reply.end() - 2);
    sim::appendCrc(unsigned_);
    require(unsigned_ == answer.reply);
    require(answer.reply[0] == request[0]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    sim::Config config;
    config.dialect = data[0] & 1 ? sim::Dialect::Modbus : sim::Dialect::Fd;
    config.address = data[1];
    config.baud = kBauds[data[2] % std::size(kBauds)];
    sim::Bytes pending(data + 3, data + size);

    // The serving loop's framing: a byte that starts nothing is dropped.
    while (!pending.empty()) {
        const int length = sim::requestLength(pending.data(), pending.size());
        require(length >= -1 && length <= 9 + 255);
        if (length < 0) {
            pending.erase(pending.begin());
            continue;
        }
        if (length == 0 || pending.size() < std::size_t(length)) break;
        // The frame taken, judged by itself, is as long as the judgement of the line said.
        require(sim::requestLength(pending.data(), std::size_t(length)) == length);
        checkAnswer(sim::Bytes(pending.begin(), pending.begin() + length), config);
        pending.erase(pending.begin(), pending.begin() + length);
    }
    // Whatever the length, as one request.
    checkAnswer(sim::Bytes(data + 3, data + size), config);
    return 0;
}
