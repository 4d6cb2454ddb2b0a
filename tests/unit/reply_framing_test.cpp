#include "protocol/reply_framing.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using State = ReplyScan::State;

const Bytes kFdQuery = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
const Bytes kFdReply = {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8};
const Bytes kFdRefusal = {0xFD, 0xFD, 0xFD, 0x80, 0x01, 0x49, 0x88};
const Bytes kMeasureRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09};
const Bytes kMeasureReply = {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x6E, 0x96};
const Bytes kFromAddress2 = {0x02, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x61, 0xD2};
const Bytes kException = {0x01, 0x83, 0x02, 0xC0, 0xF1};
const Bytes kIdentityQuery = {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF};
const Bytes kIdentityReply = {0x01, 0x03, 0x0A, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1A, 0x26};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
Bytes head(const Bytes& bytes, std::size_t n) { return Bytes(bytes.begin(), bytes.begin() + long(n)); }
Bytes badCrc(Bytes bytes) {
    bytes.back() ^= 0x01;
    return bytes;
}

struct ScanCase {
    const char* name;
    Bytes request;
    Bytes received;
    State state;
    std::uint16_t offset = 0;
    bool exception = false;
    std::string reason = ""; // for Unusable
    friend void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }
};

class ScanReplyTest : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanReplyTest, FindsTheFrameThatChecks) {
    const ScanCase& c = GetParam();
    const ReplyShape shape = replyShapeFor(c.request.data(), std::uint16_t(c.request.size()));
    const Bytes received = c.received; // exactly sized, for the address sanitizer
    const ReplyScan scan = scanReply(received.data(), std::uint16_t(received.size()), shape);
    ASSERT_EQ(int(scan.state), int(c.state));
    if (c.state == State::Complete) {
        EXPECT_EQ(scan.offset, c.offset);
        EXPECT_EQ(scan.exception, c.exception);
        EXPECT_EQ(scan.length, c.exception && !shape.fd ? 5 : shape.length);
    }
    if (c.state == State::Unusable) {
        std::uint8_t other = 0;
        EXPECT_EQ(unusableReason(received.data(), std::uint16_t(received.size()), shape, other), c.reason);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ScanReplyTest,
    testing::Values(
        ScanCase{"FdReplyAlone", kFdQuery, kFdReply, State::Complete},
        ScanCase{"FdRefusalIsAnException", kFdQuery, kFdRefusal, State::Complete, 0, true},
        ScanCase{"FdReplyAfterNoise", kFdQuery, join({{0x00, 0x55, 0xAA}, kFdReply}), State::Complete, 3},
        ScanCase{"FdReplyAfterAStrayFdByte", kFdQuery, join({{0xFD}, kFdReply}), State::Complete, 1},
        ScanCase{"FdHalfReplyWaits", kFdQuery, head(kFdReply, 4), State::Waiting},
        ScanCase{"NothingYetWaits", kMeasureRequest, {}, State::Waiting},
        ScanCase{"MeasurementAlone", kMeasureRequest, kMeasureReply, State::Complete},
        ScanCase{"MeasurementAfterNoise", kMeasureRequest, join({{0x00, 0x55, 0xAA}, kMeasureReply}), State::Complete,
                 3},
        ScanCase{"MeasurementSplitWaits", kMeasureRequest, head(kMeasureReply, 6), State::Waiting},
        ScanCase{"ExceptionIsFiveBytes", kMeasureRequest, kException, State::Complete, 0, true},
        ScanCase{"BadCrcIsUnusable", kMeasureRequest, badCrc(kMeasureReply), State::Unusable, 0, false, "bad CRC"},
        ScanCase{"OtherAddressIsUnusable", kMeasureRequest, kFromAddress2, State::Unusable, 0, false,
                 "reply from another address"},
        ScanCase{
            "NoiseAloneIsUnusable", kMeasureRequest, {0x00, 0x55, 0xAA}, State::Unusable, 0, false, "no valid frame"},
        ScanCase{"CutShortReplyIsIncomplete", kMeasureRequest, join({head(kMeasureReply, 6), {0x00, 0x00}}),
                 State::Waiting},
        ScanCase{"BadCrcThenGoodReply", kMeasureRequest, join({badCrc(kMeasureReply), kMeasureReply}), State::Complete,
                 13},
        ScanCase{"IdentityFromAnyAddress", kIdentityQuery, kIdentityReply, State::Complete},
        ScanCase{"IdentityByteCountMustMatch", kIdentityQuery, kMeasureReply, State::Unusable, 0, false,
                 "no valid frame"}));

TEST(ReplyShapeTest, LengthsOfEveryRequest) {
    struct Case {
        const char* name;
        Bytes request;
        std::uint16_t length;
    };
    const Case cases[] = {
        {"fd query", kFdQuery, 7},
        {"measurement", kMeasureRequest, 13},
        {"area read", {0x01, 0x03, 0x02, 0x00, 0x00, 0x01, 0x85, 0xB2}, 7},
        {"area write", {0x01, 0x06, 0x02, 0x00, 0x01, 0xC2, 0x08, 0x73}, 8},
        {"identity read", kIdentityQuery, 15},
        {"identity write",
         {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x07, 0x00, 0x03, 0, 0, 0, 0, 0, 0, 0x00, 0x00},
         8},
        {"unknown function", {0x01, 0x2B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0},
        {"too short", {0x01, 0x03}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(replyShapeFor(c.request.data(), std::uint16_t(c.request.size())).length, c.length) << c.name;
}

} // namespace
