#pragma once
// The far end of the line in the serial-port tests: a pty whose master side
// the test drives as the device. On Linux the test holds the pty itself
// (line_peer_posix.cpp); under Wine, where no pty can be made, ventora-sim-host
// holds it on Linux and the port reaches it as a COM port (line_peer_win32.cpp).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How the port left the line, as the device side sees it.
struct LineSettings {
    bool eightBits = false;
    bool plainFrame = false; // no parity, one stop bit, no flow control
    bool noEditing = false;  // no canonical input, echo or signals
    bool noOutputProcessing = false;
};

class LinePeer {
public:
    LinePeer();
    ~LinePeer();

    // What the port opens to reach this line; "" when none could be made.
    const std::string& portPath() const;
    // The device sends bytes to the port.
    bool fromDevice(const std::vector<std::uint8_t>& bytes);
    // What has reached the device, waiting up to wait for the first bytes.
    std::vector<std::uint8_t> toDevice(std::chrono::milliseconds wait);
    // Bytes the device sent that wait for the port to read; -1 when unknown.
    int queued();
    // The line's speed in bit/s as the port set it; 0 when unknown.
    std::uint32_t speed();
    LineSettings settings();
    // The device goes away, as an unplugged adapter does.
    void hangUp();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
