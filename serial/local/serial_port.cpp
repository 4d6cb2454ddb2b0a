// The parts of SerialPort that both backends share: locking and the order of
// the steps of open.

#include "serial/local/serial_port.h"

#include "serial/local/port_naming.h"

SerialPort::SerialPort() : SerialPort(PortNamer(&SerialPort::systemPortName)) { systemRule_ = true; }

std::vector<std::string> SerialPort::devicesFor(std::uint8_t count) const {
    if (systemRule_) return systemPortNames(count);
    std::vector<std::string> devices;
    for (unsigned n = 1; n <= count; ++n) devices.push_back(deviceFor(std::uint8_t(n)));
    return devices;
}

std::string SerialPort::pathFor(const std::string& portName) const {
    const std::uint8_t portNumber = comPortNumber(portName);
    return portNumber != 0 ? deviceFor(portNumber) : portName;
}

int SerialPort::openPath(const std::string& path) {
    std::lock_guard lock(handleMutex_);
    return openLocked(path);
}

int SerialPort::openLocked(const std::string& path) {
    closeLocked(); // callers close first; this only guards against a leaked handle
    recordFailure(path, path.empty() ? OpenFailure::NoSuchDevice : OpenFailure::None, "");
    lowLatency_ = false;
    if (path.empty()) return 0;
    if (!acquireLocked(path)) return 0;
    if (!configureLocked()) {
        closeLocked();
        return 0;
    }
    isOpen.store(true, std::memory_order_release);
    return 1;
}

bool SerialPort::close() {
    std::lock_guard lock(handleMutex_);
    return closeLocked();
}
