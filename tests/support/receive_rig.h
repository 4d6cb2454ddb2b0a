#pragma once
// A port with the receive model behind it, wired as the window wires it: the
// block initialised before the receive thread starts, and the thread stopped
// before the port and the block it reads go.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "serial/local/receive_thread.h"
#include "serial/local/serial_port.h"

// A real port on one device: port 1 names `path`, every other port nothing.
class DevicePort : public SerialPort {
public:
    explicit DevicePort(std::string devicePath = {})
        : SerialPort([this](std::uint8_t n) { return n == 1 ? path : std::string(); }),
          path(std::move(devicePath)) {}

    std::string path; // may change between opens, as when a device comes back elsewhere
};

enum class Receiving { On, Off };

// Receiving::Off leaves the block to the test: nothing moves bytes into it
// unless the test runs receivePass or a FakePort answers into it.
template <class Port>
class ReceiveRig {
public:
    template <class... PortArgs>
    explicit ReceiveRig(Receiving receiving = Receiving::On, PortArgs&&... portArgs)
        : port(std::forward<PortArgs>(portArgs)...) {
        block->init();
        if (receiving == Receiving::On) thread.emplace(*block, port);
    }

    Port port;
    std::unique_ptr<ReceiveBlock> block = std::make_unique<ReceiveBlock>();
    std::optional<ReceiveThread> thread; // declared last: it stops before what it reads goes
};
