#pragma once
// The tool's end of a software transmitter's pty, through plain termios, for
// the tests of the software transmitter that must depend on nothing but it.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyClient {
public:
    using Bytes = std::vector<std::uint8_t>;

    PtyClient(const std::string& path, speed_t speed) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        setSpeed(speed);
    }
    ~PtyClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Raw 8N1 at speed, with both queues emptied.
    void setSpeed(speed_t speed) {
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, speed);
        ::tcsetattr(fd_, TCSANOW, &t);
        ::tcflush(fd_, TCIOFLUSH);
    }

    void send(const Bytes& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Everything that arrives until the line has been quiet for `quiet` (or
    // nothing has come at all within 300 ms), 5 s at most.
    Bytes receive(std::chrono::milliseconds quiet) {
        using namespace std::chrono_literals;
        Bytes got;
        auto last = std::chrono::steady_clock::now();
        const auto limit = last + 5s;
        while (std::chrono::steady_clock::now() < limit) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 5);
            std::uint8_t chunk[256];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            const auto now = std::chrono::steady_clock::now();
            if (n > 0) {
                got.insert(got.end(), chunk, chunk + n);
                last = now;
            } else if (now - last > (got.empty() ? 300ms : quiet)) {
                break;
            }
        }
        return got;
    }

    Bytes exchange(const Bytes& request, std::chrono::milliseconds quiet = std::chrono::milliseconds(60)) {
        send(request);
        return receive(quiet);
    }

private:
    int fd_;
};
