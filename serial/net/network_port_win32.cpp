// Winsock backend of NetworkSerialPort.

#include "serial/net/network_port.h"

#include <cstring>
#include <mutex>
#include <vector>

#include <winsock2.h>
#include <ws2tcpip.h>

struct NetworkSerialPort::Socket {
    SOCKET handle = INVALID_SOCKET;
};

namespace {

using Clock = std::chrono::steady_clock;

struct Address {
    sockaddr_storage storage{};
    int length = 0;
};

struct Resolved {
    int error = 0;   // getaddrinfo's code (a WSA error); 0 on success
    std::vector<Address> addresses;
};

// The one translation of a Winsock error into the cause the caller sees.
OpenFailure causeOf(int e) {
    switch (e) {
    case WSAECONNREFUSED: return OpenFailure::ConnectionRefused;
    case WSAETIMEDOUT: return OpenFailure::NoAnswer;
    case WSAHOST_NOT_FOUND: case WSANO_DATA: case WSATRY_AGAIN: case WSANO_RECOVERY:
        return OpenFailure::HostNotFound;
    case WSAECONNRESET: case WSAECONNABORTED: case WSAESHUTDOWN: return OpenFailure::ConnectionLost;
    default: return OpenFailure::Other;
    }
}

bool startWinsock() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data{};
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

Resolved resolve(const std::string& host, std::uint16_t port, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    Resolved resolved;
    resolved.error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (resolved.error != 0) return resolved;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        Address address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = int(a->ai_addrlen);
        resolved.addresses.push_back(address);
    }
    ::freeaddrinfo(list);
    return resolved;
}

std::string addressText(const Address& address) {
    char host[INET6_ADDRSTRLEN] = "?";
    if (address.storage.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address.storage);
        ::inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
        return "[" + std::string(host) + "]:" + std::to_string(ntohs(in6.sin6_port));
    }
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(address.storage);
    ::inet_ntop(AF_INET, &in4.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(in4.sin_port));
}

// Waits until the socket can be read or written (or has failed) or the
// deadline passes; false when the time is up.
bool waitFor(SOCKET s, bool forWriting, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()).count();
        const long long us = left <= 0 ? 0 : left > 60'000'000 ? 60'000'000 : left;
        timeval tv{long(us / 1'000'000), long(us % 1'000'000)};
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        const int n = ::select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &tv);
        if (n != 0) return true;   // ready, failed, or select itself failed: the next call tells
        if (Clock::now() >= deadline) return false;
    }
}

} // namespace

NetworkSerialPort::NetworkSerialPort(std::chrono::milliseconds openTimeout)
    : SerialPort(PortNamer()), openTimeout_(openTimeout), socket_(std::make_unique<Socket>()) {}

NetworkSerialPort::~NetworkSerialPort() { closeSocket(); }

std::string NetworkSerialPort::osErrorText(int osError) {
    char text[256] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     DWORD(osError), 0, text, sizeof text, nullptr);
    std::string detail(text, n);
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r' || detail.back() == ' '))
        detail.pop_back();
    return detail.empty() ? "error " + std::to_string(osError) : detail;
}

bool NetworkSerialPort::socketOpen() const { return socket_->handle != INVALID_SOCKET; }

void NetworkSerialPort::closeSocket() {
    if (socket_->handle != INVALID_SOCKET) ::closesocket(socket_->handle);
    socket_->handle = INVALID_SOCKET;
}

bool NetworkSerialPort::connectSocket(const NetworkEndpoint& endpoint, Clock::time_point deadline) {
    if (!startWinsock()) {
        recordFailure(where(), OpenFailure::Other, "Winsock could not be started");
        return false;
    }
    const std::string host = endpoint.host;
    const std::uint16_t port = endpoint.port;
    const std::optional<Resolved> looked = lookUp<Resolved>(
        [host, port](bool numeric) { return resolve(host, port, numeric ? AI_NUMERICHOST : 0); },
        [](const Resolved& r) { return r.error != 0; }, deadline);
    if (!looked) return false;
    const Resolved& resolved = *looked;
    if (resolved.error != 0) {
        recordFailure(where(), OpenFailure::HostNotFound, osErrorText(resolved.error));
        return false;
    }

    int error = WSAETIMEDOUT;
    for (const Address& address : resolved.addresses) {
        remote_ = addressText(address);
        const SOCKET s = ::socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            error = ::WSAGetLastError();
            continue;
        }
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
        // Requests are a few bytes each, and each waits for its reply.
        const BOOL one = TRUE;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        int result = 0;
        if (::connect(s, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
            result = ::WSAGetLastError();
            if (result == WSAEWOULDBLOCK) {
                if (!waitFor(s, true, deadline)) {
                    ::closesocket(s);
                    error = WSAETIMEDOUT;
                    break;
                }
                int size = sizeof result;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &size) != 0)
                    result = ::WSAGetLastError();
            }
        }
        if (result == 0) {
            socket_->handle = s;
            return true;
        }
        error = result;
        ::closesocket(s);
    }
    if (error == WSAETIMEDOUT)
        recordFailure(where(), OpenFailure::NoAnswer,
                      "connecting took longer than " + std::to_string(openTimeout_.count()) + " ms");
    else
        recordFailure(where(), causeOf(error), causeOf(error) == OpenFailure::Other ? osErrorText(error) : "");
    return false;
}

NetworkSerialPort::Io NetworkSerialPort::sendSome(const std::uint8_t* bytes, std::size_t count, std::size_t& sent,
                                                  Clock::time_point deadline) {
    sent = 0;
    if (socket_->handle == INVALID_SOCKET) return Io::Lost;
    for (;;) {
        const int r = ::send(socket_->handle, reinterpret_cast<const char*>(bytes), int(count), 0);
        if (r > 0) {
            sent = std::size_t(r);
            return Io::Done;
        }
        const int e = ::WSAGetLastError();
        if (r == SOCKET_ERROR && e != WSAEWOULDBLOCK && e != WSAEINTR) {
            lastOsError_ = e;
            return Io::Lost;
        }
        if (!waitFor(socket_->handle, true, deadline)) return Io::TimedOut;
    }
}

NetworkSerialPort::Io NetworkSerialPort::receive(std::uint8_t* into, std::size_t room, std::size_t& got,
                                                 Clock::time_point deadline) {
    got = 0;
    if (socket_->handle == INVALID_SOCKET) return Io::Lost;
    for (;;) {
        const int r = ::recv(socket_->handle, reinterpret_cast<char*>(into), int(room), 0);
        if (r > 0) {
            got = std::size_t(r);
            return Io::Done;
        }
        if (r == 0) {
            lastOsError_ = 0;
            return Io::Lost;
        }
        const int e = ::WSAGetLastError();
        if (e != WSAEWOULDBLOCK && e != WSAEINTR) {
            lastOsError_ = e;
            return Io::Lost;
        }
        if (!waitFor(socket_->handle, false, deadline)) return Io::TimedOut;
    }
}
