// The software transmitter for tests that run under Wine: the same interface
// as sim/sim_transmitter.h, served on Linux by ventora-sim-host. slavePath()
// is the device path (\\.\COMn) of the port that Wine maps to its pty.

#include "sim/sim_transmitter.h"

#include <sstream>

#include "tests/wine/host_connection.h"
#include "tests/wine/host_wire.h"

namespace sim {

struct SimTransmitter::Impl {
    Config config; // until start(); the host holds the state from then on
    HostConnection host;
    std::string port;
    mutable std::mutex mutex; // one exchange with the host at a time

    bool ask(const std::string& command, std::string& reply) {
        std::lock_guard lock(mutex);
        return host.ask(command, reply);
    }
    bool ask(const std::string& command) {
        std::string ignored;
        return ask(command, ignored);
    }
};

SimTransmitter::SimTransmitter(Config config) : impl_(new Impl) { impl_->config = config; }

SimTransmitter::~SimTransmitter() { delete impl_; }

bool SimTransmitter::start() {
    std::string reply;
    if (!impl_->port.empty() || !impl_->ask("sim " + host_wire::configText(impl_->config), reply)) return false;
    impl_->port = "\\\\.\\" + reply;
    return true;
}

void SimTransmitter::stop() { impl_->ask("stop"); }

std::string SimTransmitter::slavePath() const { return impl_->port; }

void SimTransmitter::setFault(Fault fault, unsigned splitMs) {
    impl_->ask("fault " + std::to_string(int(fault)) + " " + std::to_string(splitMs));
}

void SimTransmitter::sendRaw(const std::vector<std::uint8_t>& bytes) { impl_->ask("raw " + host_wire::hex(bytes)); }

std::vector<LoggedRequest> SimTransmitter::requests() const {
    std::string reply;
    std::vector<LoggedRequest> log;
    if (!impl_->ask("requests", reply)) return log;
    std::istringstream in(reply);
    for (std::string entry; in >> entry;) {
        const auto colon = entry.find(':');
        if (colon == std::string::npos) continue;
        log.push_back({host_wire::unhex(entry.substr(colon + 1)), std::uint32_t(std::stoul(entry.substr(0, colon)))});
    }
    return log;
}

void SimTransmitter::clearRequests() { impl_->ask("clear"); }

Config SimTransmitter::state() const {
    std::string reply;
    if (impl_->port.empty() || !impl_->ask("state", reply)) return impl_->config;
    Config config;
    std::istringstream in(reply);
    host_wire::parseConfig(in, config);
    return config;
}

void SimTransmitter::setState(const Config& config) {
    if (impl_->port.empty()) {
        impl_->config = config;
        return;
    }
    impl_->ask("set " + host_wire::configText(config));
}

} // namespace sim
