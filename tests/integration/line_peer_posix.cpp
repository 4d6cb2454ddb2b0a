#include "tests/integration/line_peer.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/pty_pair.h"

struct LinePeer::Impl {
    PtyPair pty;
};

LinePeer::LinePeer() : impl_(std::make_unique<Impl>()) {}
LinePeer::~LinePeer() = default;

const std::string& LinePeer::portPath() const { return impl_->pty.slavePath; }

bool LinePeer::fromDevice(const std::vector<std::uint8_t>& bytes) {
    return ::write(impl_->pty.master, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

std::vector<std::uint8_t> LinePeer::toDevice(std::chrono::milliseconds wait) {
    std::vector<std::uint8_t> bytes(512);
    pollfd p{impl_->pty.master, POLLIN, 0};
    if (::poll(&p, 1, int(wait.count())) <= 0) return {};
    const ssize_t n = ::read(impl_->pty.master, bytes.data(), bytes.size());
    bytes.resize(n > 0 ? std::size_t(n) : 0);
    return bytes;
}

int LinePeer::queued() {
    // The queue belongs to the terminal, so the pair's own slave descriptor
    // sees the same count as the port's.
    int count = 0;
    return ::ioctl(impl_->pty.slaveKeep, FIONREAD, &count) == 0 ? count : -1;
}

std::uint32_t LinePeer::speed() {
    static const struct {
        speed_t code;
        std::uint32_t rate;
    } kRates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                  {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    const speed_t code = impl_->pty.speed();
    for (const auto& r : kRates)
        if (r.code == code) return r.rate;
    return 0;
}

LineSettings LinePeer::settings() {
    termios tio{};
    ::tcgetattr(impl_->pty.master, &tio);
    LineSettings s;
    s.eightBits = (tio.c_cflag & CSIZE) == CS8;
    s.plainFrame = (tio.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0;
    s.noEditing = (tio.c_lflag & (ICANON | ECHO | ISIG)) == 0;
    s.noOutputProcessing = (tio.c_oflag & OPOST) == 0;
    return s;
}

void LinePeer::hangUp() { impl_->pty.hangUp(); }
