#include "protocol/echo.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using K = EchoKnowledge;

TEST(EchoOffset, StripsTheCopyAndLearnsWhatThePortDoes) {
    const Bytes write = {0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3F}; // its acknowledgement is itself
    Bytes echoAndAck = write;
    echoAndAck.insert(echoAndAck.end(), write.begin(), write.end());
    const Bytes query = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
    const Bytes reply = {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8}; // its first three bytes are the query's
    const struct {
        const char* name;
        K before;
        const Bytes& request;
        Bytes received;
        std::uint16_t offset;
        K after;
    } cases[] = {
        {"echo then ack: learnt", K::Unknown, write, echoAndAck, 8, K::Echoes},
        {"echo alone: no reply", K::Echoes, write, write, 8, K::Echoes},
        {"ack on a plain port", K::Plain, write, write, 0, K::Plain},
        {"reply sharing the first bytes", K::Unknown, query, reply, 0, K::Plain},
        {"copy still arriving teaches nothing", K::Unknown, query, {0xFD, 0xFD}, 0, K::Unknown},
        {"echo missing on an echoing port", K::Echoes, query, reply, 0, K::Echoes},
    };
    for (const auto& c : cases) {
        K knowledge = c.before;
        EXPECT_EQ(echoOffset(knowledge, c.request.data(), std::uint16_t(c.request.size()), c.received.data(),
                             std::uint16_t(c.received.size())),
                  c.offset)
            << c.name;
        EXPECT_EQ(int(knowledge), int(c.after)) << c.name;
    }
}

} // namespace
