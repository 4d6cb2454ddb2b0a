// The command-line tool's exchange against ports that misbehave without end.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "cli/link.h"
#include "protocol/frames.h"

namespace {

using namespace std::chrono_literals;

// A line that never falls quiet: every read returns noise at once.
class ChatteringPort : public Port {
public:
    int openPath(const std::string&) override { return 1; }
    bool close() override { return true; }
    int write(const std::uint8_t*, std::uint32_t count) override { return int(count); }
    WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds) override {
        std::memset(buffer, 0x55, maxBytes);
        return {maxBytes, false};
    }
};

TEST(CliLine, EndlessNoiseEndsTheExchangeInsteadOfHoldingIt) {
    ChatteringPort port;
    Link line(port, "noisy", 50ms, nullptr);
    ASSERT_TRUE(line.reopen(9600));
    std::uint8_t request[kMaxFrameLength];
    // Before the drain was bounded, this never returned.
    const Reply reply = line.exchange(request, buildReadMeasurement(request, 1));
    EXPECT_EQ(reply.status, ReplyStatus::Invalid);
}

} // namespace
