#include "serial/net/tcp_port.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

const char* formOf(NetworkScheme scheme) {
    switch (scheme) {
    case NetworkScheme::Rfc2217: return "rfc2217://HOST:PORT";
    case NetworkScheme::Tcp: return "tcp://HOST:PORT";
    case NetworkScheme::ModbusTcp: break;
    }
    return "modbus-tcp://HOST[:PORT]";
}

} // namespace

TcpPort::TcpPort(std::chrono::milliseconds openTimeout, NetworkScheme scheme)
    : openTimeout_(openTimeout),
      scheme_(scheme) {}

std::string TcpPort::where() const {
    if (!socket_.remote().empty()) return socket_.remote();
    NetworkEndpoint endpoint;
    return parseNetworkPortName(sessionName_, endpoint) ? hostAndPort(endpoint.host, endpoint.port) : sessionName_;
}

int TcpPort::openPath(const std::string& name) {
    open_ = false;
    const auto deadline = Clock::now() + openTimeout_;
    NetworkEndpoint endpoint;
    if (!parseNetworkPortName(name, endpoint) || endpoint.scheme != scheme_) {
        disconnect();
        recordFailure(name, OpenFailure::NoSuchDevice,
                      name.empty() ? "" : std::string("not of the form ") + formOf(scheme_));
        return 0;
    }
    if (socket_.isOpen() && name == sessionName_) {
        recordFailure(where(), OpenFailure::None, "");
        if (applySettings(deadline)) {
            open_ = true;
            return 1;
        }
        // A kept session the server has since ended is no failure of this open.
        if (lastOpenFailure() != OpenFailure::ConnectionLost) {
            disconnect();
            return 0;
        }
    }
    disconnect();
    sessionName_ = name;
    recordFailure(where(), OpenFailure::None, "");
    if (!socket_.connect(endpoint, deadline, openTimeout_)) {
        recordFailure(where(), socket_.failure(), socket_.failureDetail());
        return 0;
    }
    recordFailure(where(), OpenFailure::None, "");
    if (!startSession(deadline) || !applySettings(deadline)) {
        socket_.close();
        return 0;
    }
    open_ = true;
    return 1;
}

bool TcpPort::close() { return std::exchange(open_, false); }

void TcpPort::disconnect() {
    open_ = false;
    socket_.close();
    sessionEnded();
}

bool TcpPort::openFailed(Io io, const char* waitingFor) {
    if (io == Io::Lost) {
        lose();
        return false;
    }
    recordFailure(where(), OpenFailure::NoAnswer,
                  std::string("no ") + waitingFor + " within " + std::to_string(openTimeout_.count()) + " ms");
    return false;
}

void TcpPort::lose() {
    std::string detail = socket_.lossText();
    if (detail.empty()) {
        detail = "the server closed the connection";
        const std::string said = serverSaid();
        if (!said.empty()) detail += ": \"" + said + "\"";
    }
    drop(detail);
}

void TcpPort::drop(const std::string& why) {
    recordFailure(where(), OpenFailure::ConnectionLost, why);
    open_ = false;
    socket_.close();
    sessionEnded();
}

int TcpPort::write(const std::uint8_t* buffer, std::uint32_t count) {
    if (!open_) return 0;
    if (socket_.send(buffer, count, Clock::now() + kWriteBudget) == Io::Lost) {
        lose();
        return 0;
    }
    return 1;
}

WaitedRead TcpPort::readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) {
    WaitedRead result;
    std::size_t got = 0;
    const Io io = open_ ? socket_.receive(buffer, maxBytes, got, Clock::now() + timeout) : Io::Lost;
    if (io == Io::Lost) {
        if (open_) lose();
        result.deviceGone = true;
    }
    result.count = std::uint32_t(got);
    return result;
}

std::uint32_t TcpPort::takeHeld(std::uint8_t* buffer, std::uint32_t maxBytes, const std::uint8_t* from,
                                std::size_t& head, std::size_t tail) {
    const std::size_t count = std::min<std::size_t>(maxBytes, tail - head);
    std::memcpy(buffer, from + head, count);
    head += count;
    return std::uint32_t(count);
}
