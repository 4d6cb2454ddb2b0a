#include <gtest/gtest.h>

#include <ostream>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/support/receive_rig.h"
#include "tests/support/sim_start.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

const Bytes kFdQuery = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
const Bytes kFdReply9600Addr1 = {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8};

// A real port on the sim's pty, with the receive thread running on a heap block.
class ReceiveThreadOnSim : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Config config;
        config.lineRate = true;
        transmitter = startSim(config);
        ASSERT_TRUE(transmitter);
        rig = std::make_unique<ReceiveRig<DevicePort>>(Receiving::On, transmitter->slavePath());
        rig->port.setParams(1, 8, 0, 0, 9600);
        ASSERT_NE(rig->port.open(), 0);
    }
    void TearDown() override {
        rig.reset();
        transmitter.reset();
    }

    // The batches that reach replyRing, one takeReply each, until `bytes` bytes
    // have come in all (or the deadline has passed).
    std::vector<Bytes> collect(std::size_t bytes) {
        std::vector<Bytes> replies;
        std::size_t total = 0;
        std::uint8_t buf[1024];
        waitFor([&] {
            if (const std::uint16_t n = rig->block->takeReply(buf, 1024)) {
                replies.emplace_back(buf, buf + n);
                total += n;
            }
            return total >= bytes;
        });
        return replies;
    }
    void send(const Bytes& b) { ASSERT_EQ(rig->port.write(b.data(), std::uint32_t(b.size())), 1); }

    std::unique_ptr<sim::SimTransmitter> transmitter;
    std::unique_ptr<ReceiveRig<DevicePort>> rig;
};

TEST_F(ReceiveThreadOnSim, RequestAndReplyMakeOneRoundTrip) {
    send(kFdQuery);
    const auto replies = collect(kFdReply9600Addr1.size());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], kFdReply9600Addr1);
    ASSERT_FALSE(transmitter->requests().empty());
    EXPECT_EQ(transmitter->requests().back().bytes, kFdQuery);
}

struct SplitCase {
    const char* name;
    unsigned pauseMs;
    std::size_t replies;
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
};

class SplitReply : public ReceiveThreadOnSim, public ::testing::WithParamInterface<SplitCase> {};

// The quiet gap is 30 passes of about 1 ms: a 10 ms pause stays inside one
// reply, an 80 ms pause ends it.
TEST_P(SplitReply, PauseDecidesWhetherTheReplyIsCut) {
    transmitter->setFault(sim::Fault::Split, GetParam().pauseMs);
    send(kFdQuery);
    const auto replies = collect(kFdReply9600Addr1.size());
    ASSERT_EQ(replies.size(), GetParam().replies);
    Bytes joined;
    for (const auto& r : replies) joined.insert(joined.end(), r.begin(), r.end());
    EXPECT_EQ(joined, kFdReply9600Addr1);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitReply,
                         ::testing::Values(SplitCase{"pause10ms", 10, 1}, SplitCase{"pause80ms", 80, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceiveThreadOnSim, OverlongBurstKeepsTheFirst4095BytesIntact) {
    transmitter->setState([&] {
        auto c = transmitter->state();
        c.lineRate = false;
        return c;
    }());
    Bytes burst(5000);
    for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = std::uint8_t(i * 13 + (i >> 8));
    transmitter->sendRaw(burst);
    Bytes got;
    for (const Bytes& batch : collect(4095)) got.insert(got.end(), batch.begin(), batch.end());
    ASSERT_EQ(got.size(), 4095u);
    EXPECT_EQ(got, Bytes(burst.begin(), burst.begin() + 4095));
    // The dropped bytes must not turn up later: the next batch is only what follows them.
    transmitter->sendRaw({0x5A});
    EXPECT_EQ(collect(1), std::vector<Bytes>{{0x5A}});
}

TEST_F(ReceiveThreadOnSim, DestroyingTheThreadJoinsPromptly) {
    const auto start = Clock::now();
    rig->thread.reset();
    EXPECT_LT(Clock::now() - start, 100ms);
}

} // namespace
