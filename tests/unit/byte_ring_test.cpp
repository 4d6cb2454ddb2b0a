#include <gtest/gtest.h>

#include <ostream>

#include <memory>
#include <thread>
#include <vector>

#include "serial/local/byte_ring.h"
#include "serial/local/receive_thread.h"

namespace {

std::unique_ptr<ByteRing> freshRing() {
    auto ring = std::make_unique<ByteRing>();
    ringInit(*ring);
    return ring;
}

std::vector<std::uint8_t> popAll(ByteRing& ring) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t n = ringCount(ring); n > 0; --n) out.push_back(ringPop(ring));
    return out;
}

TEST(ByteRing, HoldsAtMost4095AndDropsWhatOverfills) {
    auto ring = freshRing();
    EXPECT_EQ(ringCount(*ring), 0u);
    for (int i = 0; i < 4095; ++i) ringPush(*ring, std::uint8_t(i * 7));
    EXPECT_EQ(ringCount(*ring), 4095u);
    ringPush(*ring, 0xEE); // the 4096th byte is lost
    ringPush(*ring, 0xEF);
    EXPECT_EQ(ringCount(*ring), 4095u);
    const auto out = popAll(*ring);
    ASSERT_EQ(out.size(), 4095u);
    for (int i = 0; i < 4095; ++i) ASSERT_EQ(out[i], std::uint8_t(i * 7)) << "at " << i;
    EXPECT_EQ(ringCount(*ring), 0u);
}

TEST(ByteRing, FullRingTakesOneMoreAfterOnePop) {
    auto ring = freshRing();
    for (int i = 0; i < 4095; ++i) ringPush(*ring, 1);
    EXPECT_EQ(ringPop(*ring), 1);
    ringPush(*ring, 0x42);
    EXPECT_EQ(ringCount(*ring), 4095u);
    const auto out = popAll(*ring);
    EXPECT_EQ(out.back(), 0x42);
}

TEST(ByteRing, KeepsOrderAcrossTheLastSlot) {
    auto ring = freshRing();
    for (int i = 0; i < 4090; ++i) ringPush(*ring, 0);
    for (int i = 0; i < 4090; ++i) ringPop(*ring);
    for (int i = 0; i < 16; ++i) ringPush(*ring, std::uint8_t(100 + i));
    EXPECT_EQ(ring->readIndex.load(), 4090);
    EXPECT_EQ(ring->writeIndex.load(), 10);
    EXPECT_EQ(ringCount(*ring), 16u);
    const auto out = popAll(*ring);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], 100 + i);
}

TEST(ByteRing, InitEmptiesWithoutClearingSlots) {
    auto ring = freshRing();
    for (std::uint8_t b : {0xA1, 0xA2, 0xA3}) ringPush(*ring, b);
    ringInit(*ring);
    EXPECT_EQ(ringCount(*ring), 0u);
    EXPECT_EQ(ring->capacity, 4096);
    EXPECT_EQ(ring->spare, 0);
    EXPECT_EQ(ring->data[0], 0xA1);
    EXPECT_EQ(ring->data[2], 0xA3);
}

struct TransferCase {
    const char* name;
    int alreadyInTarget; // bytes waiting in the target before the move
    int moved;           // bytes in the source
    int expectKept;      // source bytes that fit
    friend void PrintTo(const TransferCase& c, std::ostream* os) { *os << c.name; }
};

class RingTransfer : public ::testing::TestWithParam<TransferCase> {};

TEST_P(RingTransfer, MovesInOrderAndDropsOnlyWhatDoesNotFit) {
    const auto& c = GetParam();
    auto from = freshRing();
    auto to = freshRing();
    for (int i = 0; i < c.alreadyInTarget; ++i) ringPush(*to, 0xFF);
    for (int i = 0; i < c.moved; ++i) ringPush(*from, std::uint8_t(i));
    EXPECT_EQ(ringTransfer(*from, *to), std::uint32_t(c.moved));
    EXPECT_EQ(ringCount(*from), 0u);
    ASSERT_EQ(ringCount(*to), std::uint32_t(c.alreadyInTarget + c.expectKept));
    const auto out = popAll(*to);
    for (int i = 0; i < c.expectKept; ++i) ASSERT_EQ(out[c.alreadyInTarget + i], std::uint8_t(i));
}

INSTANTIATE_TEST_SUITE_P(Cases, RingTransfer,
                         ::testing::Values(TransferCase{"empty", 0, 0, 0}, TransferCase{"reply", 0, 13, 13},
                                           TransferCase{"behindOld", 5, 300, 300},
                                           TransferCase{"overfills", 4000, 200, 95},
                                           TransferCase{"full", 0, 4095, 4095}),
                         [](const auto& info) { return std::string(info.param.name); });

// The move becomes visible in one step: a popper never sees part of a batch.
TEST(ByteRingThreaded, TransferPublishesWholeBatches) {
    auto block = std::make_unique<ReceiveBlock>();
    block->init();
    constexpr int kBatches = 20000;
    std::jthread producer([&] {
        for (int b = 0; b < kBatches; ++b) {
            const int size = 1 + b % 37;
            while (ringCount(block->replyRing) > 4095 - 37) std::this_thread::yield();
            for (int i = 0; i < size; ++i) ringPush(block->rawRing, std::uint8_t(size));
            ringTransfer(block->rawRing, block->replyRing);
        }
    });
    int seen = 0;
    std::uint8_t buf[1024];
    std::vector<std::uint8_t> pending;
    while (seen < kBatches) {
        const std::uint16_t n = block->takeReply(buf, 1024);
        pending.insert(pending.end(), buf, buf + n);
        std::size_t pos = 0;
        while (pos < pending.size() && pos + pending[pos] <= pending.size()) {
            const std::size_t size = pending[pos];
            ASSERT_EQ(size, std::size_t(1 + seen % 37));
            for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(pending[pos + i], size);
            pos += size;
            ++seen;
        }
        pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(pos));
        // Only a take cut short by its maximum may end inside a batch.
        if (n < 1024) {
            ASSERT_TRUE(pending.empty()) << "a batch was seen in part";
        }
        if (n == 0) std::this_thread::yield();
    }
}

// One pusher, one popper, several million bytes in exact order, with the
// ring inside a heap block as the product keeps it.
TEST(ByteRingThreaded, SingleProducerSingleConsumerKeepsExactOrder) {
    auto block = std::make_unique<ReceiveBlock>();
    block->init();
    constexpr std::uint32_t kBytes = 4'000'000;
    std::jthread producer([&] {
        for (std::uint32_t i = 0; i < kBytes; ++i) {
            while (ringCount(block->replyRing) == 4095) std::this_thread::yield();
            ringPush(block->replyRing, std::uint8_t(i * 31 + (i >> 8)));
        }
    });
    std::uint32_t next = 0;
    std::uint8_t buf[1024];
    while (next < kBytes) {
        const std::uint16_t n = block->takeReply(buf, 1024);
        for (std::uint16_t k = 0; k < n; ++k, ++next)
            ASSERT_EQ(buf[k], std::uint8_t(next * 31 + (next >> 8))) << "byte " << next;
        if (n == 0) std::this_thread::yield();
    }
}

} // namespace
