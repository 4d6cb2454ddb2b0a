#include "sim/pty_server.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr auto pollPeriod = std::chrono::milliseconds(10);
// A request still incomplete this long after its last byte is line noise.
constexpr auto partialFrameLimit = std::chrono::milliseconds(50);
// A write that makes no progress for this long is abandoned (nobody reads).
constexpr auto writeStallLimit = std::chrono::milliseconds(2000);

std::uint32_t speedValue(speed_t speed) {
    switch (speed) {
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

} // namespace

bool PtyServer::start() {
    if (server.joinable()) return true;
    {
        std::lock_guard lock(stopMutex);
        stopping = false;
    }
    if (!open()) return false;
    pending.clear();
    server = std::thread([this] { serve(); });
    return true;
}

void PtyServer::stop() {
    {
        std::lock_guard lock(stopMutex);
        stopping = true;
    }
    stopSignal.notify_all();
    if (server.joinable()) server.join();
    closeFds();
}

std::string PtyServer::slavePath() const {
    std::lock_guard lock(pathMutex);
    return path;
}

void PtyServer::send(const Bytes& bytes, bool paced, std::uint32_t baud) {
    std::lock_guard lock(writeMutex);
    emit(bytes.data(), bytes.size(), paced, baud);
}

std::chrono::nanoseconds PtyServer::byteTime(std::uint32_t baud) {
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

bool PtyServer::waitUntil(Clock::time_point deadline) {
    std::unique_lock lock(stopMutex);
    return !stopSignal.wait_until(lock, deadline, [this] { return stopping; });
}

bool PtyServer::stopRequested() {
    std::lock_guard lock(stopMutex);
    return stopping;
}

bool PtyServer::writeAll(const std::uint8_t* data, std::size_t size) {
    auto lastProgress = Clock::now();
    while (size > 0 && masterFd >= 0) {
        const ssize_t n = ::write(masterFd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (Clock::now() - lastProgress > writeStallLimit || stopRequested()) return false;
        pollfd p{masterFd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(pollPeriod.count()));
    }
    return size == 0;
}

bool PtyServer::emit(const std::uint8_t* data, std::size_t size, bool paced, std::uint32_t baud) {
    if (!paced || baud == 0) return writeAll(data, size);
    const auto start = Clock::now();
    for (std::size_t i = 0; i < size; ++i) {
        if (!waitUntil(start + byteTime(baud) * (i + 1))) return false;
        if (!writeAll(data + i, 1)) return false;
    }
    return true;
}

std::uint32_t PtyServer::currentSpeed() {
    termios t{};
    if (masterFd < 0 || ::tcgetattr(masterFd, &t) != 0) return 0;
    return speedValue(::cfgetospeed(&t));
}

void PtyServer::closeFds() {
    std::lock_guard lock(writeMutex);
    if (masterFd >= 0) ::close(masterFd);
    if (slaveFd >= 0) ::close(slaveFd);
    masterFd = slaveFd = -1;
}

void PtyServer::serve() {
    std::uint8_t chunk[512];
    while (!stopRequested() && masterFd >= 0) {
        pollfd p{masterFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(pollPeriod.count()));
        const auto now = Clock::now();
        if (ready > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
            if (n > 0) {
                // The echo is on the wire while the request is: unpaced, and at any speed.
                if (echo) send(Bytes(chunk, chunk + n), false, 0);
                pending.insert(pending.end(), chunk, chunk + n);
                lastByteAt = now;
            }
        } else if (ready > 0) {
            // POLLHUP without data; should not happen while slaveFd is open.
            waitUntil(now + pollPeriod);
        }
        if (!takeRequests()) return;
        if (!pending.empty() && now - lastByteAt > partialFrameLimit) pending.clear();
    }
}

// Frames and answers every complete request in pending; false after a hang-up.
bool PtyServer::takeRequests() {
    for (;;) {
        const int length = requestLength(pending.data(), pending.size());
        if (length < 0) {
            pending.erase(pending.begin());
            continue;
        }
        if (length == 0 || pending.size() < static_cast<std::size_t>(length)) return true;
        Bytes request(pending.begin(), pending.begin() + length);
        pending.erase(pending.begin(), pending.begin() + length);
        {
            std::lock_guard lock(logMutex);
            log.push_back({request, currentSpeed()});
        }
        if (!handle(request)) return false;
    }
}

std::vector<LoggedRequest> PtyServer::requests() const {
    std::lock_guard lock(logMutex);
    return log;
}

void PtyServer::clearRequests() {
    std::lock_guard lock(logMutex);
    log.clear();
}

bool PtyServer::open() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return false;
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return false;
    }
    // Held for the pty's life: the tool's closes then never hang up the
    // master, and the termios it sets survive until it reopens.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard lock(writeMutex);
        masterFd = master;
        slaveFd = slave;
    }
    std::lock_guard lock(pathMutex);
    path = name;
    return true;
}

} // namespace sim
