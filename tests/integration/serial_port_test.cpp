#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "serial/local/serial_port.h"
#include "tests/integration/line_peer.h"
#include "tests/support/wait_for.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

class SerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(line.portPath().empty()); }

    SerialPort::PortNamer namer() {
        return [path = line.portPath()](std::uint8_t n) { return n == 1 ? path : std::string(); };
    }
    void fromDevice(const Bytes& b) { ASSERT_TRUE(line.fromDevice(b)); }
    // Waits until n bytes written by the device are queued for the port to read.
    void settle(int n) {
        ASSERT_TRUE(waitFor([&] { return line.queued() >= n; })) << n << " bytes never arrived";
    }
    Bytes toDevice() { return line.toDevice(std::chrono::milliseconds(500)); }

    LinePeer line;
};

TEST_F(SerialPortOnPty, OpensByNumberThroughTheNamerAndWrites) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    EXPECT_TRUE(port.isOpen);
    EXPECT_EQ(line.speed(), 9600u);
    const Bytes frame = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
    EXPECT_EQ(port.write(frame.data(), std::uint32_t(frame.size())), 1);
    EXPECT_EQ(toDevice(), frame);
}

TEST_F(SerialPortOnPty, OpenFailsForPortZeroUnnamedPortsAndRefusedSpeeds) {
    struct Case {
        std::uint8_t port;
        std::uint32_t baud;
    };
#ifdef _WIN32
    // Windows leaves an unusual speed to the port's driver, which may take it.
    const Case cases[] = {{0, 9600}, {2, 9600}};
#else
    const Case cases[] = {{0, 9600}, {2, 9600}, {1, 12345}};
#endif
    for (const Case c : cases) {
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
    EXPECT_EQ(second.lastOpenFailure(), OpenFailure::Busy);
    first.close();
    EXPECT_NE(second.open(), 0) << "free again once the first closed";
    EXPECT_EQ(second.lastOpenFailure(), OpenFailure::None) << "a successful open forgets the last failure";
}

#ifdef _WIN32
constexpr const char* kMissingDevice = "\\\\.\\COM99";
#else
constexpr const char* kMissingDevice = "/dev/ventora-no-such-tty";
#endif

// Each cause as the user reads it. "{pty}" stands for the pty's path; the OS's
// own words in parentheses are checked only where they do not depend on
// whether the test runs as root.
struct FailureCase {
    const char* name;
    std::uint8_t port;
    std::uint32_t baud;
    bool heldElsewhere;
    OpenFailure cause;
    const char* devicePath;
    const char* linePrefix;
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class OpenFailureCause : public SerialPortOnPty, public ::testing::WithParamInterface<FailureCase> {
protected:
    static std::string withPty(std::string text, const std::string& path) {
        if (const auto at = text.find("{pty}"); at != std::string::npos) text.replace(at, 5, path);
        return text;
    }
};

TEST_P(OpenFailureCause, SaysWhyAndWhichDevice) {
    const FailureCase& c = GetParam();
    const std::string path = line.portPath();
    SerialPort holder(namer());
    SerialPort port([path](std::uint8_t n) {
        return n == 1 ? path : n == 3 ? std::string(kMissingDevice) : std::string();
    });
    if (c.heldElsewhere) {
        holder.setParams(1, 8, 0, 0, 9600);
        ASSERT_NE(holder.open(), 0);
    }
    port.setParams(c.port, 8, 0, 0, c.baud);
    ASSERT_EQ(port.open(), 0);
    EXPECT_EQ(port.lastOpenFailure(), c.cause);
    EXPECT_EQ(port.devicePath(), withPty(c.devicePath, path));
    const std::string line = openFailureLine(port, "COM" + std::to_string(c.port));
    EXPECT_EQ(line.rfind(withPty(c.linePrefix, path), 0), 0u) << line;
    EXPECT_EQ(line.find("dialout"), std::string::npos) << "only a refused permission has a hint: " << line;
}

// The OS's words differ between the backends; the causes do not.
#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Causes, OpenFailureCause,
                         ::testing::Values(FailureCase{"MissingDevice", 3, 9600, false, OpenFailure::NoSuchDevice,
                                                       kMissingDevice, "COM3 (\\\\.\\COM99): no such device ("},
                                           FailureCase{
                                               "PortNamingNothing", 2, 9600, false, OpenFailure::NoSuchDevice, "",
                                               "COM2: no such device (the port names no serial device present)"},
                                           FailureCase{"HeldByAnotherPort", 1, 9600, true, OpenFailure::Busy, "{pty}",
                                                       "COM1 ({pty}): in use by another program ("}),
                         [](const auto& info) { return std::string(info.param.name); });
#else
INSTANTIATE_TEST_SUITE_P(
    Causes, OpenFailureCause,
    ::testing::Values(FailureCase{"MissingDevice", 3, 9600, false, OpenFailure::NoSuchDevice, kMissingDevice,
                                  "COM3 (/dev/ventora-no-such-tty): no such device (No such file or directory)"},
                      FailureCase{"PortNamingNothing", 2, 9600, false, OpenFailure::NoSuchDevice, "",
                                  "COM2: no such device (the port names no serial device present)"},
                      FailureCase{"HeldByAnotherPort", 1, 9600, true, OpenFailure::Busy, "{pty}",
                                  "COM1 ({pty}): in use by another program ("},
                      FailureCase{"RefusedSpeed", 1, 12345, false, OpenFailure::SettingRefused, "{pty}",
                                  "COM1 ({pty}): line settings refused (the speed 12345 bit/s is not supported)"}),
    [](const auto& info) { return std::string(info.param.name); });
#endif

#ifndef _WIN32
// Root opens any device, so the refusal is seen by a child that has become
// nobody, on a pty owned by root that only its owner may open. The child's exit
// code is the cause, and it sends its line through a pipe.
TEST_F(SerialPortOnPty, PermissionDeniedForAnotherUserWithTheDialoutHint) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const std::string path = line.portPath();
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
        SerialPort port(namer());
        port.setParams(1, 8, 0, 0, 9600);
        if (port.open() != 0) ::_exit(101);
        const std::string line = openFailureLine(port, "COM1");
        if (::write(fds[1], line.data(), line.size()) != ssize_t(line.size())) ::_exit(102);
        ::_exit(int(port.lastOpenFailure()));
    }
    ::close(fds[1]);
    std::string line;
    char chunk[256];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) line.append(chunk, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), int(OpenFailure::PermissionDenied)) << "100 setuid failed, 101 it opened";
    EXPECT_EQ(line, "COM1 (" + path +
                        "): permission denied (Permission denied); add yourself to the dialout group "
                        "(sudo usermod -aG dialout $USER) and log in again");
}
#endif

TEST_F(SerialPortOnPty, OpenPurgesBytesQueuedBefore) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    fromDevice({1, 2, 3});
    settle(3);
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
    settle(300);
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
    for (const std::uint32_t baud : {2400u, 4800u, 9600u}) {
        port.close();
        port.setParams(1, 8, 0, 0, baud);
        ASSERT_NE(port.open(), 0);
        EXPECT_EQ(line.speed(), baud);
    }
}

TEST_F(SerialPortOnPty, LineSettingsAreRaw8N1) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 4800);
    ASSERT_NE(port.open(), 0);
    const LineSettings settings = line.settings();
    EXPECT_TRUE(settings.eightBits);
    EXPECT_TRUE(settings.plainFrame);
    EXPECT_TRUE(settings.noEditing);
    EXPECT_TRUE(settings.noOutputProcessing);
}

// A long time-out: a read that waited for it with bytes queued, or after a
// hang-up, would stall the test for a minute instead of returning.
TEST_F(SerialPortOnPty, WaitingReadTakesQueuedBytesTimesOutEmptyAndSeesTheHangUp) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    std::uint8_t buf[16] = {};

    fromDevice({1, 2, 3});
    settle(3);
    WaitedRead got = port.readWait(buf, sizeof buf, std::chrono::minutes(1));
    EXPECT_EQ(got.count, 3u);
    EXPECT_FALSE(got.deviceGone);
    EXPECT_EQ(Bytes(buf, buf + 3), (Bytes{1, 2, 3}));

    got = port.readWait(buf, sizeof buf, std::chrono::milliseconds(20));
    EXPECT_EQ(got.count, 0u);
    EXPECT_FALSE(got.deviceGone) << "a quiet line is not a lost device";

    line.hangUp();
    got = port.readWait(buf, sizeof buf, std::chrono::minutes(1));
    EXPECT_EQ(got.count, 0u);
    EXPECT_TRUE(got.deviceGone);
}

TEST_F(SerialPortOnPty, HangUpLeavesThePortSane) {
    SerialPort port(namer());
    port.setParams(1, 8, 0, 0, 9600);
    ASSERT_NE(port.open(), 0);
    line.hangUp();
    std::uint8_t buf[64] = {};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(port.read(buf, 64), 0u);
    const auto start = Clock::now();
    port.write(buf, 64);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_TRUE(port.close());
    EXPECT_FALSE(port.isOpen);
}

} // namespace
