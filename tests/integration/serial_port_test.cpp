#include <gtest/gtest.h>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "serial/serial_port.h"
#include "tests/integration/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

class SerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(pty.slavePath.empty()); }

    SerialPort::PortNamer namer() {
        return [path = pty.slavePath](std::uint8_t n) { return n == 1 ? path : std::string(); };
    }
    void fromDevice(const Bytes& b) {
        ASSERT_EQ(::write(pty.master, b.data(), b.size()), ssize_t(b.size()));
    }
    // Waits until the slave side has n bytes queued.
    void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }
    Bytes toDevice() {
        Bytes b(512);
        pollfd p{pty.master, POLLIN, 0};
        if (::poll(&p, 1, 500) <= 0) return {};
        const ssize_t n = ::read(pty.master, b.data(), b.size());
        b.resize(n > 0 ? std::size_t(n) : 0);
        return b;
    }

    PtyPair pty;
};

TEST_F(SerialPortOnPty, OpensByNumberThroughTheNamerAndWrites) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    EXPECT_TRUE(port.isOpen);
    EXPECT_EQ(pty.speed(), speed_t(B9600));
    const Bytes frame = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
    EXPECT_EQ(port.write(frame.data(), std::uint32_t(frame.size())), 1);
    EXPECT_EQ(toDevice(), frame);
}

TEST_F(SerialPortOnPty, OpenFailsForPortZeroUnnamedPortsAndRefusedSpeeds) {
    struct Case { std::uint8_t port; std::uint32_t baud; };
    for (const Case c : {Case{0, 9600}, Case{2, 9600}, Case{1, 12345}}) {
        SerialPort port(namer());
        port.setParams(c.port, 8, 0, 0, c.baud);
        EXPECT_EQ(port.open(), 0) << int(c.port) << " @ " << c.baud;
        EXPECT_FALSE(port.isOpen);
        EXPECT_FALSE(port.close()) << "a failed open holds nothing";
    }
}

TEST_F(SerialPortOnPty, SecondOpenOfTheSameDeviceFails) {
    SerialPort first(namer()), second(namer());
    first.setParams(1, 8, 0, 0, 9600);
    second.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(first.open(), 0);
    EXPECT_EQ(second.open(), 0);
    first.close();
    EXPECT_NE(second.open(), 0) << "free again once the first closed";
}

TEST_F(SerialPortOnPty, OpenPurgesBytesQueuedBefore) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    fromDevice({1, 2, 3});
    settle();
    port.close();
    ASSERT_NE(port.open(), 0);
    std::uint8_t buf[16];
    EXPECT_EQ(port.read(buf, sizeof buf), 0u);
}

TEST_F(SerialPortOnPty, ReadNeverWaitsAndTakesAtMostTheMaximum) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    std::uint8_t buf[1024];
    const auto start = Clock::now();
    EXPECT_EQ(port.read(buf, 256), 0u);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200)) << "read must not wait for bytes";

    Bytes queued(300);
    for (int i = 0; i < 300; ++i) queued[i] = std::uint8_t(i);
    fromDevice(queued);
    settle();
    ASSERT_EQ(port.read(buf, 256), 256u);
    ASSERT_EQ(port.read(buf + 256, 256), 44u);
    EXPECT_EQ(Bytes(buf, buf + 300), queued);
}

TEST_F(SerialPortOnPty, ClosedPortReadsAndWritesNothingAndClosesTwice) {
    SerialPort port(namer());
    std::uint8_t buf[4] = {1, 2, 3, 4};
    EXPECT_EQ(port.read(buf, 4), 0u);
    EXPECT_EQ(port.write(buf, 4), 0);
    EXPECT_FALSE(port.close());
    EXPECT_FALSE(port.close());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    EXPECT_TRUE(port.close());
    EXPECT_FALSE(port.close());
    EXPECT_FALSE(port.isOpen);
    EXPECT_EQ(port.write(buf, 4), 0);
    EXPECT_TRUE(toDevice().empty());
}

TEST_F(SerialPortOnPty, ReopenAppliesTheNewSpeed) {
    SerialPort port(namer());
    struct Case { std::uint32_t baud; speed_t code; };
    for (const Case c : {Case{2400, B2400}, Case{4800, B4800}, Case{9600, B9600}}) {
        port.close();
        port.setParams(1, 8, 0, 0, c.baud);
        ASSERT_NE(port.open(), 0);
        EXPECT_EQ(pty.speed(), c.code) << c.baud;
    }
}

TEST_F(SerialPortOnPty, LineSettingsAreRaw8N1) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 4800);
    ASSERT_NE(port.open(), 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(SerialPortOnPty, HangUpLeavesThePortSane) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    pty.hangUp();
    std::uint8_t buf[64] = {};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(port.read(buf, 64), 0u);
    const auto start = Clock::now();
    port.write(buf, 64);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_TRUE(port.close());
    EXPECT_FALSE(port.isOpen);
}

} // namespace
