// The parts of TcpSocket that every OS shares: the order of the steps of
// connecting, and sending and receiving over the backend's socket calls.

#include "serial/net/tcp_socket.h"

#include "serial/net/bounded_call.h"

bool TcpSocket::fail(OpenFailure cause, const std::string& detail) {
    failure_ = cause;
    failureDetail_ = detail;
    return false;
}

bool TcpSocket::connect(const NetworkEndpoint& endpoint, Clock::time_point deadline, std::chrono::milliseconds budget) {
    close();
    remote_.clear();
    failure_ = OpenFailure::None;
    failureDetail_.clear();
    lastOsError_ = 0;
    if (!socketsStarted()) return false;
    const std::optional<Lookup> looked = lookUp(endpoint, deadline);
    if (!looked)
        return fail(OpenFailure::HostNotFound,
                    "the name service did not answer within " + std::to_string(budget.count()) + " ms");
    if (looked->error != 0) return fail(OpenFailure::HostNotFound, looked->failure);
    Io io = Io::TimedOut;
    int error = 0;
    for (const Address& address : looked->addresses) {
        remote_ = hostAndPort(address.host, endpoint.port);
        io = connectTo(address, deadline, error);
        if (io != Io::Lost) break;
    }
    if (io == Io::Done) return true;
    const OpenFailure cause = io == Io::TimedOut ? OpenFailure::NoAnswer : causeOf(error);
    if (cause == OpenFailure::NoAnswer)
        return fail(cause, "connecting took longer than " + std::to_string(budget.count()) + " ms");
    return fail(
        cause, cause == OpenFailure::Other || cause == OpenFailure::ConnectionLost ? osErrorText(unsigned(error)) : "");
}

std::optional<TcpSocket::Lookup> TcpSocket::lookUp(const NetworkEndpoint& endpoint, Clock::time_point deadline) {
    Lookup numeric = resolve(endpoint, true);
    if (!numeric.notNumeric) return numeric;
    return callBefore<Lookup>(deadline, [endpoint] { return resolve(endpoint, false); });
}

TcpSocket::Io TcpSocket::connectTo(const Address& address, Clock::time_point deadline, int& error) {
    bool pending = false;
    error = openSocket(address, pending);
    if (error == 0 && pending) {
        if (!socketReady(true, deadline)) {
            close();
            return Io::TimedOut;
        }
        error = socketError();
    }
    if (error == 0) return Io::Done;
    close();
    return Io::Lost;
}

TcpSocket::Io TcpSocket::send(const std::uint8_t* bytes, std::size_t count, Clock::time_point deadline) {
    for (std::size_t done = 0; done < count;) {
        std::size_t sent = 0;
        const Io io = transfer(bytes + done, nullptr, count - done, sent, deadline);
        done += sent;
        bytesSent_ += sent;
        if (io != Io::Done) return io;
    }
    return Io::Done;
}

TcpSocket::Io TcpSocket::receive(std::uint8_t* in, std::size_t room, std::size_t& got, Clock::time_point deadline) {
    const Io io = transfer(nullptr, in, room, got, deadline);
    bytesReceived_ += got;
    return io;
}

std::string TcpSocket::lossText() const { return lastOsError_ != 0 ? osErrorText(unsigned(lastOsError_)) : ""; }

TcpSocket::Io TcpSocket::transfer(const std::uint8_t* out, std::uint8_t* in, std::size_t count, std::size_t& moved,
                                  Clock::time_point deadline) {
    moved = 0;
    if (!isOpen()) return Io::Lost;
    for (;;) {
        int error = 0;
        const long r = moveOnce(out, in, count, error);
        if (r > 0) {
            moved = std::size_t(r);
            return Io::Done;
        }
        if ((r == 0 && in != nullptr) || (r < 0 && !wouldBlock(error))) {
            lastOsError_ = error;
            return Io::Lost;
        }
        // An error or hang-up shows as ready; the next call says which.
        if (!socketReady(out != nullptr, deadline)) return Io::TimedOut;
    }
}
