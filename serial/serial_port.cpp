// The parts of SerialPort that both backends share: locking and the order of
// the steps of open.

#include "serial/serial_port.h"

SerialPort::SerialPort() : SerialPort(PortNamer(&SerialPort::systemPortName)) {}

bool SerialPort::configure() {
    std::lock_guard lock(handleMutex_);
    return configureLocked();
}

int SerialPort::open() {
    std::lock_guard lock(handleMutex_);
    closeLocked();   // callers close first; this only guards against a leaked handle
    const std::string path = portNumber_ == 0 || !namer_ ? std::string() : namer_(portNumber_);
    if (path.empty() || !acquireLocked(path)) return 0;
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
