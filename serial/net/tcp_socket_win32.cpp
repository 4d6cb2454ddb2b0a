// Winsock backend of TcpSocket.

#include "serial/net/tcp_socket.h"

#include <cstring>

#include <winsock2.h>
#include <ws2tcpip.h>

#include "serial/sockets.h"

struct TcpSocket::Native {
    SOCKET handle = INVALID_SOCKET;
};

TcpSocket::TcpSocket() : native_(std::make_unique<Native>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::socketsStarted() {
    // Started once, for the rest of the process.
    static const bool started = startSockets(2, 2);
    if (!started) fail(OpenFailure::Other, "Winsock could not be started");
    return started;
}

OpenFailure TcpSocket::causeOf(int osError) {
    switch (osError) {
    case WSAECONNREFUSED: return OpenFailure::ConnectionRefused;
    case WSAETIMEDOUT: return OpenFailure::NoAnswer;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY: return OpenFailure::HostNotFound;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN: return OpenFailure::ConnectionLost;
    default: return OpenFailure::Other;
    }
}

bool TcpSocket::wouldBlock(int osError) { return osError == WSAEWOULDBLOCK || osError == WSAEINTR; }

TcpSocket::Lookup TcpSocket::resolve(const NetworkEndpoint& endpoint, bool numericOnly) {
    const int flags = (numericOnly ? AI_NUMERICHOST : 0) | AI_NUMERICSERV;
    const addrinfo hints{flags, AF_UNSPEC, SOCK_STREAM, 0, 0, nullptr, nullptr, nullptr};
    Lookup lookup = lookUpAddresses<sockaddr_in, sockaddr_in6>(endpoint, hints, AF_INET6);
    // A Windows Sockets code, in the system's words; a numeric-only lookup
    // fails in any of several ways for a name.
    lookup.notNumeric = numericOnly && lookup.error != 0;
    if (lookup.error != 0) lookup.failure = osErrorText(unsigned(lookup.error));
    return lookup;
}

int TcpSocket::openSocket(const Address& address, bool& pending) {
    sockaddr_storage storage{};
    static_assert(sizeof storage <= sizeof address.storage);
    std::memcpy(&storage, address.storage, address.length);
    const SOCKET s = ::socket(storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return ::WSAGetLastError();
    native_->handle = s;
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    // Requests are a few bytes each, and each waits for its reply.
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&storage), int(address.length)) == 0) return 0;
    const int error = ::WSAGetLastError();
    pending = error == WSAEWOULDBLOCK;
    return pending ? 0 : error;
}

int TcpSocket::socketError() const {
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(native_->handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        return ::WSAGetLastError();
    return error;
}

bool TcpSocket::isOpen() const { return native_->handle != INVALID_SOCKET; }

void TcpSocket::close() {
    if (native_->handle != INVALID_SOCKET) ::closesocket(native_->handle);
    native_->handle = INVALID_SOCKET;
}

bool TcpSocket::socketReady(bool forWriting, Clock::time_point deadline) const {
    const SOCKET s = native_->handle;
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
        if (n != 0) return true; // ready, failed, or select itself failed: the next call tells
        if (Clock::now() >= deadline) return false;
    }
}

long TcpSocket::moveOnce(const std::uint8_t* out, std::uint8_t* in, std::size_t count, int& error) {
    const int r = out != nullptr ? ::send(native_->handle, reinterpret_cast<const char*>(out), int(count), 0)
                                 : ::recv(native_->handle, reinterpret_cast<char*>(in), int(count), 0);
    if (r == SOCKET_ERROR) error = ::WSAGetLastError();
    return r;
}
