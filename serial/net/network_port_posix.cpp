// POSIX sockets backend of NetworkSerialPort.

#include "serial/net/network_port.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

struct NetworkSerialPort::Socket {
    int fd = -1;
};

namespace {

int msUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : left > 60'000 ? 60'000 : int(left);
}

} // namespace

NetworkSerialPort::NetworkSerialPort(std::chrono::milliseconds openTimeout)
    : openTimeout_(openTimeout),
      socket_(std::make_unique<Socket>()) {}

NetworkSerialPort::~NetworkSerialPort() { closeSocket(); }

bool NetworkSerialPort::socketsStarted() { return true; }

OpenFailure NetworkSerialPort::causeOf(int osError) {
    switch (osError) {
    case ECONNREFUSED: return OpenFailure::ConnectionRefused;
    case ETIMEDOUT: return OpenFailure::NoAnswer;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE: return OpenFailure::ConnectionLost;
    default: return OpenFailure::Other;
    }
}

bool NetworkSerialPort::wouldBlock(int osError) {
    return osError == EAGAIN || osError == EWOULDBLOCK || osError == EINTR;
}

NetworkSerialPort::Lookup NetworkSerialPort::resolve(const NetworkEndpoint& endpoint, bool numericOnly) {
    const int flags = (numericOnly ? AI_NUMERICHOST : 0) | AI_NUMERICSERV;
    const addrinfo hints{flags, AF_UNSPEC, SOCK_STREAM, 0, 0, nullptr, nullptr, nullptr};
    Lookup lookup = lookUpAddresses<sockaddr_in, sockaddr_in6>(endpoint, hints, AF_INET6);
    const int sysError = errno;
    lookup.notNumeric = numericOnly && lookup.error == EAI_NONAME;
    if (lookup.error != 0)
        lookup.failure = lookup.error == EAI_SYSTEM ? osErrorText(unsigned(sysError)) : ::gai_strerror(lookup.error);
    return lookup;
}

int NetworkSerialPort::openSocket(const Address& address, bool& pending) {
    sockaddr_storage storage{};
    static_assert(sizeof storage <= sizeof address.storage);
    std::memcpy(&storage, address.storage, address.length);
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return errno;
    socket_->fd = fd;
    // Requests are a few bytes each, and each waits for its reply.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&storage), socklen_t(address.length)) == 0) return 0;
    pending = errno == EINPROGRESS;
    return pending ? 0 : errno;
}

int NetworkSerialPort::socketError() const {
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(socket_->fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error : errno;
}

bool NetworkSerialPort::socketOpen() const { return socket_->fd >= 0; }

void NetworkSerialPort::closeSocket() {
    if (socket_->fd >= 0) ::close(socket_->fd);
    socket_->fd = -1;
}

bool NetworkSerialPort::socketReady(bool forWriting, Clock::time_point deadline) const {
    for (;;) {
        pollfd p{socket_->fd, short(forWriting ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&p, 1, msUntil(deadline));
        if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
        if (ready == 0 && Clock::now() >= deadline) return false;
    }
}

long NetworkSerialPort::moveOnce(const std::uint8_t* out, std::uint8_t* in, std::size_t count, int& error) {
    // MSG_NOSIGNAL: a connection the server reset is an error here, not SIGPIPE.
    const ssize_t r =
        out != nullptr ? ::send(socket_->fd, out, count, MSG_NOSIGNAL) : ::recv(socket_->fd, in, count, 0);
    if (r < 0) error = errno;
#ifdef TCP_QUICKACK
    if (r > 0 && in != nullptr) {
        // Acknowledge at once: a server that sends a reply in two small
        // segments (Nagle) holds the second until the first is acknowledged.
        const int one = 1;
        ::setsockopt(socket_->fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    }
#endif
    return long(r);
}
