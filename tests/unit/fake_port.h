#pragma once
// A port with no device behind it, for tests of the window.

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "serial/local/serial_port.h"

using Bytes = std::vector<std::uint8_t>;

// Opens without a device, answers nothing, records what is opened and written.
// Its naming rule only describes ports; opening never consults it.
class FakePort : public SerialPort {
public:
    explicit FakePort(PortNamer namer = [](std::uint8_t) { return std::string(); }) : SerialPort(std::move(namer)) {}
    int open() override {
        openedPorts.push_back(portNumber());
        isOpen = true;
        return 1;
    }
    bool close() override { return isOpen.exchange(false); }
    std::uint32_t read(std::uint8_t*, std::uint32_t) override {
        reads.fetch_add(1);
        return 0;
    }
    int write(const std::uint8_t* buffer, std::uint32_t count) override {
        frames.emplace_back(buffer, buffer + count);
        return 1;
    }

    std::vector<Bytes> frames;       // UI thread
    std::vector<int> openedPorts;    // UI thread; port number of every open
    std::atomic<long> reads{0};      // receive thread counts, tests read
};
