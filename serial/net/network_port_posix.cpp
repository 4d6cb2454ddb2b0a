// POSIX sockets backend of NetworkSerialPort.

#include "serial/net/network_port.h"

#include <cerrno>
#include <cstring>
#include <vector>

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

using Clock = std::chrono::steady_clock;

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

struct Resolved {
    int error = 0;       // getaddrinfo's code; 0 on success
    int sysError = 0;    // errno, for EAI_SYSTEM
    std::vector<Address> addresses;
};

// The one translation of an errno into the cause the caller sees.
OpenFailure causeOf(int e) {
    switch (e) {
    case ECONNREFUSED: return OpenFailure::ConnectionRefused;
    case ETIMEDOUT: return OpenFailure::NoAnswer;
    case ECONNRESET: case ECONNABORTED: case EPIPE: return OpenFailure::ConnectionLost;
    default: return OpenFailure::Other;
    }
}

Resolved resolve(const std::string& host, std::uint16_t port, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    Resolved resolved;
    resolved.error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    resolved.sysError = errno;
    if (resolved.error != 0) return resolved;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        Address address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        resolved.addresses.push_back(address);
    }
    ::freeaddrinfo(list);
    return resolved;
}

std::string addressText(const Address& address) {
    char host[INET6_ADDRSTRLEN] = "?";
    std::uint16_t port = 0;
    if (address.storage.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address.storage);
        ::inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
        return "[" + std::string(host) + "]:" + std::to_string(ntohs(in6.sin6_port));
    }
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(address.storage);
    ::inet_ntop(AF_INET, &in4.sin_addr, host, sizeof host);
    port = ntohs(in4.sin_port);
    return std::string(host) + ":" + std::to_string(port);
}

int msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : left > 60'000 ? 60'000 : int(left);
}

// Waits for events on fd until deadline; poll's revents, 0 when the time is up.
short waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, msUntil(deadline));
        if (ready > 0) return p.revents;
        if (ready == 0 && Clock::now() >= deadline) return 0;
        if (ready < 0 && errno != EINTR) return POLLERR;
    }
}

} // namespace

NetworkSerialPort::NetworkSerialPort(std::chrono::milliseconds openTimeout)
    : SerialPort(PortNamer()), openTimeout_(openTimeout), socket_(std::make_unique<Socket>()) {}

NetworkSerialPort::~NetworkSerialPort() { closeSocket(); }

std::string NetworkSerialPort::osErrorText(int osError) { return std::strerror(osError); }

bool NetworkSerialPort::socketOpen() const { return socket_->fd >= 0; }

void NetworkSerialPort::closeSocket() {
    if (socket_->fd >= 0) ::close(socket_->fd);
    socket_->fd = -1;
}

bool NetworkSerialPort::connectSocket(const NetworkEndpoint& endpoint, Clock::time_point deadline) {
    const std::string host = endpoint.host;
    const std::uint16_t port = endpoint.port;
    const std::optional<Resolved> looked = lookUp<Resolved>(
        [host, port](bool numeric) { return resolve(host, port, numeric ? AI_NUMERICHOST : 0); },
        [](const Resolved& r) { return r.error == EAI_NONAME; }, deadline);
    if (!looked) return false;
    const Resolved& resolved = *looked;
    if (resolved.error != 0) {
        if (resolved.error == EAI_SYSTEM)
            recordFailure(where(), OpenFailure::HostNotFound, std::strerror(resolved.sysError));
        else
            recordFailure(where(), OpenFailure::HostNotFound, ::gai_strerror(resolved.error));
        return false;
    }

    int error = ETIMEDOUT;
    for (const Address& address : resolved.addresses) {
        remote_ = addressText(address);
        const int fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) {
            error = errno;
            continue;
        }
        // Requests are a few bytes each, and each waits for its reply.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length);
        if (result != 0 && errno == EINPROGRESS) {
            if (waitFor(fd, POLLOUT, deadline) == 0) {
                ::close(fd);
                error = ETIMEDOUT;
                break;
            }
            socklen_t size = sizeof result;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
            if (result != 0) errno = result;
        }
        if (result == 0) {
            socket_->fd = fd;
            return true;
        }
        error = errno;
        ::close(fd);
    }
    if (error == ETIMEDOUT)
        recordFailure(where(), OpenFailure::NoAnswer,
                      "connecting took longer than " + std::to_string(openTimeout_.count()) + " ms");
    else
        recordFailure(where(), causeOf(error), causeOf(error) == OpenFailure::Other ? std::strerror(error) : "");
    return false;
}

NetworkSerialPort::Io NetworkSerialPort::sendSome(const std::uint8_t* bytes, std::size_t count, std::size_t& sent,
                                                  Clock::time_point deadline) {
    sent = 0;
    if (socket_->fd < 0) return Io::Lost;
    for (;;) {
        // MSG_NOSIGNAL: a connection the server reset is an error here, not SIGPIPE.
        const ssize_t r = ::send(socket_->fd, bytes, count, MSG_NOSIGNAL);
        if (r > 0) {
            sent = std::size_t(r);
            return Io::Done;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            lastOsError_ = errno;
            return Io::Lost;
        }
        if (waitFor(socket_->fd, POLLOUT, deadline) == 0) return Io::TimedOut;
    }
}

NetworkSerialPort::Io NetworkSerialPort::receive(std::uint8_t* into, std::size_t room, std::size_t& got,
                                                 Clock::time_point deadline) {
    got = 0;
    if (socket_->fd < 0) return Io::Lost;
    for (;;) {
        const ssize_t r = ::recv(socket_->fd, into, room, 0);
        if (r > 0) {
            got = std::size_t(r);
#ifdef TCP_QUICKACK
            // Acknowledge at once: a server that sends a reply in two small
            // segments (Nagle) holds the second until the first is acknowledged.
            const int one = 1;
            ::setsockopt(socket_->fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
            return Io::Done;
        }
        if (r == 0) {
            lastOsError_ = 0;
            return Io::Lost;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            lastOsError_ = errno;
            return Io::Lost;
        }
        // An error or hang-up polls readable; the next recv says which.
        if (waitFor(socket_->fd, POLLIN, deadline) == 0) return Io::TimedOut;
    }
}
