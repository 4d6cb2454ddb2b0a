// POSIX sockets backend of TcpSocket.

#include "serial/net/tcp_socket.h"

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

struct TcpSocket::Native {
    int fd = -1;
};

namespace {

int msUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : left > 60'000 ? 60'000 : int(left);
}

} // namespace

TcpSocket::TcpSocket() : native_(std::make_unique<Native>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::socketsStarted() { return true; }

OpenFailure TcpSocket::causeOf(int osError) {
    switch (osError) {
    case ECONNREFUSED: return OpenFailure::ConnectionRefused;
    case ETIMEDOUT: return OpenFailure::NoAnswer;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE: return OpenFailure::ConnectionLost;
    default: return OpenFailure::Other;
    }
}

bool TcpSocket::wouldBlock(int osError) { return osError == EAGAIN || osError == EWOULDBLOCK || osError == EINTR; }

TcpSocket::Lookup TcpSocket::resolve(const NetworkEndpoint& endpoint, bool numericOnly) {
    const int flags = (numericOnly ? AI_NUMERICHOST : 0) | AI_NUMERICSERV;
    const addrinfo hints{flags, AF_UNSPEC, SOCK_STREAM, 0, 0, nullptr, nullptr, nullptr};
    Lookup lookup = lookUpAddresses<sockaddr_in, sockaddr_in6>(endpoint, hints, AF_INET6);
    const int sysError = errno;
    lookup.notNumeric = numericOnly && lookup.error == EAI_NONAME;
    if (lookup.error != 0)
        lookup.failure = lookup.error == EAI_SYSTEM ? osErrorText(unsigned(sysError)) : ::gai_strerror(lookup.error);
    return lookup;
}

int TcpSocket::openSocket(const Address& address, bool& pending) {
    sockaddr_storage storage{};
    static_assert(sizeof storage <= sizeof address.storage);
    std::memcpy(&storage, address.storage, address.length);
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return errno;
    native_->fd = fd;
    // Requests are a few bytes each, and each waits for its reply.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&storage), socklen_t(address.length)) == 0) return 0;
    pending = errno == EINPROGRESS;
    return pending ? 0 : errno;
}

int TcpSocket::socketError() const {
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(native_->fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error : errno;
}

bool TcpSocket::isOpen() const { return native_->fd >= 0; }

void TcpSocket::close() {
    if (native_->fd >= 0) ::close(native_->fd);
    native_->fd = -1;
}

bool TcpSocket::socketReady(bool forWriting, Clock::time_point deadline) const {
    for (;;) {
        pollfd p{native_->fd, short(forWriting ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&p, 1, msUntil(deadline));
        if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
        if (ready == 0 && Clock::now() >= deadline) return false;
    }
}

long TcpSocket::moveOnce(const std::uint8_t* out, std::uint8_t* in, std::size_t count, int& error) {
    // MSG_NOSIGNAL: a connection the server reset is an error here, not SIGPIPE.
    const ssize_t r =
        out != nullptr ? ::send(native_->fd, out, count, MSG_NOSIGNAL) : ::recv(native_->fd, in, count, 0);
    if (r < 0) error = errno;
#ifdef TCP_QUICKACK
    if (r > 0 && in != nullptr) {
        // Acknowledge at once: a server that sends a reply in two small
        // segments (Nagle) holds the second until the first is acknowledged.
        const int one = 1;
        ::setsockopt(native_->fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    }
#endif
    return long(r);
}
