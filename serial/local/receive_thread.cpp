#include "serial/local/receive_thread.h"

#include <chrono>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

void ReceiveBlock::init() {
    std::memset(rawRing.data, 0, sizeof rawRing.data);
    std::memset(replyRing.data, 0, sizeof replyRing.data);
    std::memset(stagingBuf, 0, sizeof stagingBuf);
    idleTicks = 0;
    ringInit(rawRing);
    ringInit(replyRing);
}

std::uint16_t ReceiveBlock::takeReply(std::uint8_t* buffer, std::uint16_t maxBytes) {
    std::uint16_t n = std::uint16_t(ringCount(replyRing));
    if (n > maxBytes) n = maxBytes;
    for (std::uint16_t i = 0; i < n; ++i) buffer[i] = ringPop(replyRing);
    return n;
}

void receivePass(ReceiveBlock& block, SerialPort& port) {
    if (!port.isOpen.load(std::memory_order_acquire)) {
        block.idleTicks = 0;
        return;
    }
    const std::uint16_t n = std::uint16_t(port.read(block.stagingBuf, kMaxReadPerPass));
    if (n > 0) {
        for (std::uint16_t i = 0; i < n; ++i) ringPush(block.rawRing, block.stagingBuf[i]);
        block.idleTicks = kQuietPasses;
        return;
    }
    if (block.idleTicks > 0 && --block.idleTicks == 0) ringTransfer(block.rawRing, block.replyRing);
}

std::jthread ReceiveThread::startThread(Loop loop) { return std::jthread(std::move(loop)); }

ReceiveThread::ReceiveThread(ReceiveBlock& block, SerialPort& port, Starter start) {
    Loop loop = [&block, &port](std::stop_token stop) {
        // Passes are paced by deadline, not by a relative sleep, so the 30-pass
        // gap stays near 30 ms instead of growing by the timer's slack on every
        // pass. A late pass resets the schedule rather than catching up, so a
        // stall never squeezes quiet passes together and cuts a reply short.
        using Clock = std::chrono::steady_clock;
        constexpr auto kPass = std::chrono::milliseconds(1);
        auto next = Clock::now();
        while (!stop.stop_requested()) {
            receivePass(block, port);
            next += kPass;
            const auto now = Clock::now();
            if (next < now) next = now + kPass;
            std::this_thread::sleep_until(next);
        }
    };
    // Out of threads or memory: nothing may escape this layer, and the owner
    // runs on without the thread (see running()).
    try {
        thread_ = start(std::move(loop));
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {}
}

ReceiveThread::~ReceiveThread() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
}
