#include "protocol/echo.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using K = EchoKnowledge;

const Bytes kWrite = {0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3F}; // its acknowledgement is itself
const Bytes kEchoAndAck = {0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3F,
                           0x01, 0x06, 0x02, 0x00, 0x01, 0x2C, 0x88, 0x3F};
const Bytes kFdReply = {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8};
const Bytes kFdQuery = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};

struct EchoCase {
    const char* name;
    K before;
    Bytes request;
    Bytes received;
    std::uint16_t offset;
    K after;
    friend void PrintTo(const EchoCase& c, std::ostream* os) { *os << c.name; }
};

class EchoOffsetTest : public testing::TestWithParam<EchoCase> {};

TEST_P(EchoOffsetTest, StripsTheCopyAndLearnsWhatThePortDoes) {
    const EchoCase& c = GetParam();
    K knowledge = c.before;
    const Bytes received = c.received; // exactly sized, for the address sanitizer
    EXPECT_EQ(echoOffset(knowledge, c.request.data(), std::uint16_t(c.request.size()), received.data(),
                         std::uint16_t(received.size())),
              c.offset);
    EXPECT_EQ(int(knowledge), int(c.after));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EchoOffsetTest,
    testing::Values(EchoCase{"echo_then_ack_learnt", K::Unknown, kWrite, kEchoAndAck, 8, K::Echoes},
                    EchoCase{"echo_alone_is_no_reply", K::Echoes, kWrite, kWrite, 8, K::Echoes},
                    EchoCase{"ack_on_a_plain_port_stays", K::Plain, kWrite, kWrite, 0, K::Plain},
                    EchoCase{"reply_sharing_the_first_bytes", K::Unknown, kFdQuery, kFdReply, 0, K::Plain},
                    EchoCase{"copy_still_arriving_teaches_nothing", K::Unknown, kFdQuery, {0xFD, 0xFD}, 0, K::Unknown},
                    EchoCase{"nothing_yet", K::Unknown, kFdQuery, {}, 0, K::Unknown},
                    EchoCase{"echo_missing_on_an_echoing_port", K::Echoes, kFdQuery, kFdReply, 0, K::Echoes}),
    [](const testing::TestParamInfo<EchoCase>& info) { return std::string(info.param.name); });

} // namespace
