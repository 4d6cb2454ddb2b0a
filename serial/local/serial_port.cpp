// The parts of SerialPort that both backends share: locking and the order of
// the steps of open.

#include "serial/local/serial_port.h"

SerialPort::SerialPort() : SerialPort(PortNamer(&SerialPort::systemPortName)) { systemRule_ = true; }

std::vector<std::string> SerialPort::devicesFor(std::uint8_t count) const {
    if (systemRule_) return systemPortNames(count);
    std::vector<std::string> devices;
    for (unsigned n = 1; n <= count; ++n) devices.push_back(deviceFor(std::uint8_t(n)));
    return devices;
}

bool SerialPort::configure() {
    std::lock_guard lock(handleMutex_);
    return configureLocked();
}

const char* openFailureText(OpenFailure cause) {
    switch (cause) {
    case OpenFailure::None: return "no error";
    case OpenFailure::NoSuchDevice: return "no such device";
    case OpenFailure::PermissionDenied: return "permission denied";
    case OpenFailure::Busy: return "in use by another program";
    case OpenFailure::SettingRefused: return "line settings refused";
    case OpenFailure::ConnectionRefused: return "connection refused";
    case OpenFailure::HostNotFound: return "host not found";
    case OpenFailure::NoAnswer: return "no answer from the server";
    case OpenFailure::ConnectionLost: return "connection lost";
    case OpenFailure::Other: break;
    }
    return "other error";
}

namespace {

// What to check for the causes of a port on a device server; the same on every OS.
const char* networkHint(OpenFailure cause) {
    switch (cause) {
    case OpenFailure::ConnectionRefused:
        return "check that the device server runs and listens on that TCP port";
    case OpenFailure::HostNotFound: return "check the host name, or give the server's IP address";
    case OpenFailure::NoAnswer:
        return "check that the TCP port speaks Telnet with RFC 2217 (ser2net: telnet(rfc2217) in the accepter) "
               "and that no firewall drops the connection";
    case OpenFailure::ConnectionLost: return "the device server or the network ended the session";
    default: return "";
    }
}

} // namespace

std::string openFailureLine(const SerialPort& port, const std::string& portName) {
    std::string line = portName;
    if (port.devicePath().empty())
        line += ": no such device (the port names no serial device present)";
    else {
        if (port.devicePath() != portName) line += " (" + port.devicePath() + ")";
        line += ": ";
        line += openFailureText(port.lastOpenFailure());
        if (!port.openFailureDetail().empty()) line += " (" + port.openFailureDetail() + ")";
    }
    std::string hint = openFailureHint(port.lastOpenFailure());
    if (hint.empty()) hint = networkHint(port.lastOpenFailure());
    if (!hint.empty()) line += "; " + hint;
    return line;
}

int SerialPort::open() {
    std::lock_guard lock(handleMutex_);
    return openLocked(deviceFor(portNumber_));
}

int SerialPort::openPath(const std::string& path) {
    std::lock_guard lock(handleMutex_);
    return openLocked(path);
}

int SerialPort::openLocked(const std::string& path) {
    closeLocked();   // callers close first; this only guards against a leaked handle
    devicePath_ = path;
    openFailure_ = OpenFailure::None;
    openFailureDetail_.clear();
    if (path.empty()) {
        openFailure_ = OpenFailure::NoSuchDevice;
        return 0;
    }
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
