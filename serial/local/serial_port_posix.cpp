// POSIX termios backend of SerialPort.

#include "serial/local/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "serial/local/port_naming.h"

struct SerialPort::Native {
    int fd = -1; // changed only by open/close (UI thread) under handleMutex_
};

namespace {

constexpr std::chrono::milliseconds kWriteBudget{1000};

// How an I/O call's outcome reaches the caller: a byte count, where "try again",
// an interrupted call and a device that has gone all mean nothing moved.
std::uint32_t ioResult(ssize_t r) { return r > 0 ? std::uint32_t(r) : 0; }

bool speedCode(std::uint32_t baud, speed_t& code) {
    switch (baud) {
    case 50: code = B50; return true;
    case 75: code = B75; return true;
    case 110: code = B110; return true;
    case 134: code = B134; return true;
    case 150: code = B150; return true;
    case 200: code = B200; return true;
    case 300: code = B300; return true;
    case 600: code = B600; return true;
    case 1200: code = B1200; return true;
    case 1800: code = B1800; return true;
    case 2400: code = B2400; return true;
    case 4800: code = B4800; return true;
    case 9600: code = B9600; return true;
    case 19200: code = B19200; return true;
    case 38400: code = B38400; return true;
    case 57600: code = B57600; return true;
    case 115200: code = B115200; return true;
    case 230400: code = B230400; return true;
    default: return false;
    }
}

tcflag_t sizeFlag(std::uint8_t dataBits) {
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

// Bytes still in the driver's output queue; 0 when the driver cannot tell.
int outputQueued(int fd) {
    int pending = 0;
    return ::ioctl(fd, TIOCOUTQ, &pending) == 0 ? pending : 0;
}

// Asks the driver to hand received bytes on at once, where an FTDI adapter
// would hold them up to its latency timer; every other flag stays. False where
// the device has no such setting, a pty for one.
bool askLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    if (serial.flags & ASYNC_LOW_LATENCY) return true;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

// Puts the UART into the kernel's RS-485 mode with RTS high while sending,
// keeping the driver's other flags and its delays. 0, or the errno of the
// refusal.
int enableRs485(int fd) {
    serial_rs485 rs485{};
    if (::ioctl(fd, TIOCGRS485, &rs485) != 0) return errno;
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    // RTS at the same level after sending would keep the transceiver driving the line.
    rs485.flags &= ~std::uint32_t(SER_RS485_RTS_AFTER_SEND);
    if (::ioctl(fd, TIOCSRS485, &rs485) != 0) return errno;
    // The driver writes back what it kept; one that dropped the mode has none.
    return (rs485.flags & SER_RS485_ENABLED) ? 0 : EOPNOTSUPP;
}

bool ttySHasHardware(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

std::vector<std::string> orderedSystemDevices() {
    std::vector<std::string> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path().filename().string());
    return orderSerialDevices(entries, ttySHasHardware);
}

} // namespace

SerialPort::SerialPort(PortNamer namer) : namer_(std::move(namer)), native_(std::make_unique<Native>()) {}

SerialPort::~SerialPort() {
    std::lock_guard lock(handleMutex_);
    closeLocked();
}

void SerialPort::recordOsFailure(unsigned long osError) {
    OpenFailure cause = OpenFailure::Other;
    switch (int(osError)) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR: cause = OpenFailure::NoSuchDevice; break;
    case EACCES:
    case EPERM:
    case EROFS: cause = OpenFailure::PermissionDenied; break;
    case EBUSY:
    case EWOULDBLOCK: cause = OpenFailure::Busy; break;
    case EINVAL:
    case ENOTTY: cause = OpenFailure::SettingRefused; break;
    default: break;
    }
    recordFailure(cause, osErrorText(osError));
}

std::vector<SerialPort::PresentDevice> SerialPort::systemDevices() {
    std::vector<PresentDevice> present;
    for (std::string& path : orderedSystemDevices()) {
        if (present.size() == 255) break;
        present.push_back({std::uint8_t(present.size() + 1), std::move(path)});
    }
    return present;
}

std::string SerialPort::systemPortName(std::uint8_t portNumber) {
    if (portNumber == 0) return {};
    return pickPort(orderedSystemDevices(), portNumber);
}

std::vector<std::string> SerialPort::systemPortNames(std::uint8_t count) {
    const std::vector<std::string> ordered = orderedSystemDevices();
    std::vector<std::string> names;
    for (unsigned n = 1; n <= count; ++n) names.push_back(pickPort(ordered, std::uint8_t(n)));
    return names;
}

std::string SerialPort::stableName(const std::string& devicePath) {
    if (devicePath.empty()) return {};
    std::vector<DeviceAlias> aliases;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/dev/serial/by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code resolveEc;
        const auto target = std::filesystem::canonical(it->path(), resolveEc);
        if (!resolveEc) aliases.push_back({it->path().filename().string(), target.string()});
    }
    std::error_code pathEc;
    const auto canonical = std::filesystem::canonical(devicePath, pathEc);
    return aliasFor(pathEc ? devicePath : canonical.string(), aliases);
}

bool SerialPort::configureLocked() {
    const int fd = native_->fd;
    termios tio{};
    speed_t speed{};
    if (fd < 0) return false;
    if (!speedCode(baudRate(), speed)) {
        recordFailure(OpenFailure::SettingRefused,
                      "the speed " + std::to_string(baudRate()) + " bit/s is not supported");
        return false;
    }
    if (::tcgetattr(fd, &tio) != 0) {
        recordOsFailure(unsigned(errno));
        // A device that is not a terminal cannot take line settings at all.
        if (lastOpenFailure() == OpenFailure::Other) recordFailure(OpenFailure::SettingRefused, openFailureDetail());
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= sizeFlag(dataBits()) | CLOCAL | CREAD;
    if (parity() == 1) tio.c_cflag |= PARENB | PARODD;
    if (parity() == 2) tio.c_cflag |= PARENB;
    if (stopBits() == 2) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 || ::tcsetattr(fd, TCSANOW, &tio) != 0) {
        recordFailure(OpenFailure::SettingRefused, osErrorText(unsigned(errno)));
        return false;
    }
    lowLatency_ = askLowLatency(fd);
    if (const int refusal = rs485() ? enableRs485(fd) : 0; refusal != 0) {
        recordFailure(OpenFailure::NoRs485Mode, osErrorText(unsigned(refusal)));
        return false;
    }
    return true;
}

bool SerialPort::lowerLatency(const std::string& devicePath) {
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // A device that another program holds is left alone.
    const bool set = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && askLowLatency(fd);
    ::close(fd);
    return set;
}

bool SerialPort::acquireLocked(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        recordOsFailure(unsigned(errno));
        return false;
    }
    // flock keeps out a second SerialPort even for root, whom TIOCEXCL does not stop.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        recordOsFailure(unsigned(errno));
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    native_->fd = fd;
    ::tcflush(fd, TCIOFLUSH);
    return true;
}

bool SerialPort::closeLocked() {
    isOpen.store(false, std::memory_order_release);
    if (native_->fd < 0) return false;
    // A pty outlives our descriptor, and with it the exclusive flag: clear it,
    // or a user without CAP_SYS_ADMIN could never reopen the port.
    ::ioctl(native_->fd, TIOCNXCL);
    ::close(native_->fd); // also drops the flock
    native_->fd = -1;
    return true;
}

std::uint32_t SerialPort::read(std::uint8_t* buffer, std::uint32_t maxBytes) {
    if (!isOpen.load(std::memory_order_acquire)) return 0;
    std::lock_guard lock(handleMutex_);
    if (native_->fd < 0) return 0;
    int queued = 0;
    // FIONREAD fails (EIO) once a USB adapter is gone: nothing queued.
    if (::ioctl(native_->fd, FIONREAD, &queued) != 0 || queued <= 0) return 0;
    const std::uint32_t want = std::min(maxBytes, std::uint32_t(queued));
    if (want == 0) return 0;
    return ioResult(::read(native_->fd, buffer, want));
}

int SerialPort::write(const std::uint8_t* buffer, std::uint32_t count) {
    // Only the UI thread changes the descriptor, and this runs on it, so no lock:
    // holding one here would stall the receive thread for the whole write.
    if (!isOpen.load(std::memory_order_acquire) || native_->fd < 0) return 0;
    const int fd = native_->fd;
    // The budget covers the bytes' own time on the wire (10 bits each) as well,
    // so a long frame at a slow rate is not cut short.
    const std::uint32_t baud = baudRate();
    const auto wireTime = std::chrono::microseconds(baud == 0 ? 0 : std::uint64_t(count) * 10'000'000u / baud);
    const auto deadline = std::chrono::steady_clock::now() + kWriteBudget + wireTime;
    std::uint32_t sent = 0;
    while (sent < count) {
        const ssize_t r = ::write(fd, buffer + sent, count - sent);
        if (r > 0) {
            sent += std::uint32_t(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) {
            if (sent == 0) return 0; // refused outright, e.g. the device has gone
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, int(left.count())) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) break;
    }
    // tcdrain has no time limit, so the wait for the output queue to empty is
    // bounded here by the same deadline, sleeping about as long as the queued
    // bytes need on the wire.
    for (int pending = outputQueued(fd); pending > 0; pending = outputQueued(fd)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        const auto needed = std::chrono::microseconds(baud == 0 ? 1000 : std::uint64_t(pending) * 10'000'000u / baud);
        // Not std::clamp: its bounds cross in the last 200 us before the deadline.
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::max<std::chrono::steady_clock::duration>(needed, std::chrono::microseconds(200)), deadline - now));
    }
    return 1;
}

WaitedRead SerialPort::readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) {
    // Runs on the thread that opens and closes the port, so no lock (see write).
    WaitedRead result;
    if (!isOpen.load(std::memory_order_acquire) || native_->fd < 0) {
        result.deviceGone = true;
        return result;
    }
    const int fd = native_->fd;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool hangUpSeen = false;
    for (;;) {
        // With VMIN and VTIME 0 an empty line reads as 0 bytes, not EAGAIN; a
        // pty whose other side closed fails with EIO.
        const ssize_t r = ::read(fd, buffer, maxBytes);
        if (r > 0) {
            result.count = std::uint32_t(r);
            return result;
        }
        if ((r < 0 && errno != EAGAIN && errno != EINTR) || hangUpSeen) {
            result.deviceGone = true;
            return result;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return result;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left.count()));
        if (ready < 0 && errno != EINTR) {
            result.deviceGone = true;
            return result;
        }
        // A hung-up line polls readable for ever; one more read tells.
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) hangUpSeen = true;
    }
}
