// The failure texts every kind of port shares.

#include "serial/port.h"

namespace {

// What to check for the causes of a port on a device server; the same on every OS.
const char* networkHint(OpenFailure cause) {
    switch (cause) {
    case OpenFailure::ConnectionRefused: return "check that the device server runs and listens on that TCP port";
    case OpenFailure::HostNotFound: return "check the host name, or give the server's IP address";
    case OpenFailure::NoAnswer:
        return "check that no firewall drops the connection, and for rfc2217:// that the TCP port speaks Telnet "
               "with RFC 2217 (ser2net: telnet(rfc2217) in the accepter)";
    case OpenFailure::ConnectionLost: return "the device server or the network ended the session";
    case OpenFailure::NotRfc2217:
        return "check that the TCP port is a device server's serial port with RFC 2217 "
               "(ser2net: telnet(rfc2217) in the accepter)";
    default: return "";
    }
}

} // namespace

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
    case OpenFailure::NotRfc2217: return "not an RFC 2217 server";
    case OpenFailure::NoRs485Mode: return "no RS-485 mode on this device";
    case OpenFailure::Other: break;
    }
    return "other error";
}

std::string openFailureLine(const Port& port, const std::string& portName) {
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
