#pragma once
// Reply delimiting by an idle gap.
//
// The receive thread polls the port about once a millisecond, collects bytes in
// rawRing, and on the 30th consecutive pass without bytes moves everything it
// collected into replyRing in one publish. The user-interface thread takes whole
// replies out of replyRing with takeReply.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>

#include "serial/local/byte_ring.h"
#include "serial/local/serial_port.h"

inline constexpr std::uint16_t kQuietPasses = 30;     // passes without bytes that end a reply
inline constexpr std::uint32_t kMaxReadPerPass = 256; // bytes read per pass at most

struct ReceiveBlock {
    ByteRing rawRing;              // receive thread only, after init
    ByteRing replyRing;            // receive thread pushes; UI thread pops through takeReply
    std::uint8_t stagingBuf[1024]; // receive thread only; a read fills at most 256 bytes
    std::uint16_t idleTicks;       // receive thread only; quiet passes still to go

    // Zeroes the block, then ringInit on rawRing, then on replyRing.
    // Call before the receive thread starts.
    void init();

    // Moves up to maxBytes bytes of completed replies into buffer, oldest first.
    // Returns how many. UI thread.
    std::uint16_t takeReply(std::uint8_t* buffer, std::uint16_t maxBytes);
};

// One pass of the receive thread, without its 1 ms sleep.
void receivePass(ReceiveBlock& block, SerialPort& port);

// Runs receivePass with a 1 ms sleep per pass from construction until
// destruction; the destructor stops and joins the thread within a pass or two.
// When the system cannot start a thread, nothing runs: the rings stay empty
// and every exchange ends with no reply.
class ReceiveThread {
public:
    using Loop = std::function<void(std::stop_token)>;
    // Starts loop on a new thread; throws std::system_error when it cannot,
    // as std::jthread's constructor does.
    using Starter = std::jthread (*)(Loop loop);
    static std::jthread startThread(Loop loop);

    ReceiveThread(ReceiveBlock& block, SerialPort& port, Starter start = &startThread);
    ~ReceiveThread();

    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;

    bool running() const { return thread_.joinable(); }

private:
    std::jthread thread_;
};
