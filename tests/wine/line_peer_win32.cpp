// The serial-port tests' line under Wine: a bare pty that ventora-sim-host
// holds on Linux, behind the COM port it names.

#include "tests/integration/line_peer.h"

#include <cstdlib>

#include "tests/wine/host_connection.h"
#include "tests/wine/host_wire.h"

struct LinePeer::Impl {
    HostConnection host;
    std::string port;
};

LinePeer::LinePeer() : impl_(std::make_unique<Impl>()) {
    std::string reply;
    if (impl_->host.ask("pty", reply)) impl_->port = "\\\\.\\" + reply;
}
LinePeer::~LinePeer() = default;

const std::string& LinePeer::portPath() const { return impl_->port; }

bool LinePeer::fromDevice(const std::vector<std::uint8_t>& bytes) {
    return impl_->host.ask("put " + host_wire::hex(bytes));
}

std::vector<std::uint8_t> LinePeer::toDevice(std::chrono::milliseconds wait) {
    std::string reply;
    if (!impl_->host.ask("take " + std::to_string(wait.count()), reply)) return {};
    return host_wire::unhex(reply);
}

int LinePeer::queued() {
    std::string reply;
    return impl_->host.ask("queued", reply) ? std::atoi(reply.c_str()) : -1;
}

std::uint32_t LinePeer::speed() {
    std::string reply;
    return impl_->host.ask("speed", reply) ? std::uint32_t(std::strtoul(reply.c_str(), nullptr, 10)) : 0;
}

LineSettings LinePeer::settings() {
    std::string reply;
    LineSettings s;
    if (!impl_->host.ask("flags", reply) || reply.size() != 4) return s;
    s.eightBits = reply[0] == '1';
    s.plainFrame = reply[1] == '1';
    s.noEditing = reply[2] == '1';
    s.noOutputProcessing = reply[3] == '1';
    return s;
}

void LinePeer::hangUp() { impl_->host.ask("hangup"); }
