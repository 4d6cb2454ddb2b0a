#include <gtest/gtest.h>

#include <ostream>

#include <vector>

#include "tests/support/fake_port.h"
#include "tests/support/receive_rig.h"

namespace {

Bytes seq(int count, int start = 0) {
    Bytes b;
    for (int i = 0; i < count; ++i) b.push_back(std::uint8_t(start + i));
    return b;
}

// A device queue the test fills between passes, under passes run by hand.
class ReceivePass : public ::testing::Test {
protected:
    void SetUp() override { port.isOpen = true; }
    void arrive(const Bytes& b) { port.arrive(b); }
    void passes(int n) {
        for (int i = 0; i < n; ++i) receivePass(*block, port);
    }
    Bytes take(std::uint16_t max = 1024) {
        std::uint8_t buf[1024];
        return Bytes(buf, buf + block->takeReply(buf, max));
    }
    ReceiveRig<FakePort> rig{Receiving::Off};
    FakePort& port = rig.port;
    std::unique_ptr<ReceiveBlock>& block = rig.block;
};

TEST_F(ReceivePass, BurstIsReleasedOnTheThirtiethQuietPass) {
    arrive(seq(7));
    passes(1);
    EXPECT_EQ(block->idleTicks, 30);
    passes(29);
    EXPECT_TRUE(take().empty());
    passes(1);
    EXPECT_EQ(take(), seq(7));
    EXPECT_EQ(block->idleTicks, 0);
}

struct SpellCase {
    const char* name;
    int quietPasses; // between the two halves
    bool oneReply;
    friend void PrintTo(const SpellCase& c, std::ostream* os) { *os << c.name; }
};

class QuietSpell : public ReceivePass, public ::testing::WithParamInterface<SpellCase> {};

TEST_P(QuietSpell, ShortSpellsJoinAndLongSpellsSplit) {
    arrive(seq(4));
    passes(1);
    passes(GetParam().quietPasses);
    const Bytes first = take();
    arrive(seq(5, 4));
    passes(31);
    const Bytes second = take();
    if (GetParam().oneReply) {
        EXPECT_TRUE(first.empty());
        EXPECT_EQ(second, seq(9));
    } else {
        EXPECT_EQ(first, seq(4));
        EXPECT_EQ(second, seq(5, 4));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, QuietSpell,
                         ::testing::Values(SpellCase{"none", 0, true}, SpellCase{"fifteen", 15, true},
                                           SpellCase{"twentynine", 29, true}, SpellCase{"thirty", 30, false},
                                           SpellCase{"sixty", 60, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceivePass, ClosingMidQuietKeepsBytesForTheNextBurst) {
    arrive(seq(3));
    passes(10);
    port.isOpen = false;
    passes(5);
    EXPECT_EQ(block->idleTicks, 0);
    port.isOpen = true;
    passes(40);
    EXPECT_TRUE(take().empty()) << "no burst, so nothing is released";
    arrive(seq(2, 3));
    passes(31);
    EXPECT_EQ(take(), seq(5));
}

TEST_F(ReceivePass, LargeQueueIsReadIn256ByteStepsAsOneReply) {
    arrive(seq(300));
    passes(1);
    EXPECT_EQ(ringCount(block->rawRing), 256u);
    passes(1);
    EXPECT_EQ(ringCount(block->rawRing), 300u);
    passes(30);
    EXPECT_EQ(take(), seq(300));
}

TEST_F(ReceivePass, TakeReplyHandsOutTheRestInOrder) {
    arrive(seq(20));
    passes(31);
    EXPECT_EQ(take(8), seq(8));
    EXPECT_EQ(take(), seq(12, 8));
    std::uint8_t buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(block->takeReply(buf, 4), 0);
    EXPECT_EQ(buf[0], 9) << "an empty take leaves the buffer alone";
}

TEST_F(ReceivePass, ClosedPortIsNeverRead) {
    port.isOpen = false;
    arrive(seq(5));
    passes(50);
    EXPECT_EQ(port.queued(), 5u);
    EXPECT_TRUE(take().empty());
}

} // namespace
