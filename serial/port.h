#pragma once
// What an exchange needs of a port, whatever reaches the device behind it: a
// local serial device (SerialPort) or a line behind a device server or
// gateway (TcpPort and the ports over it). Opening and closing, the line
// settings, writing, a waiting read, and why the last open failed.
//
// Every member is called on the thread that opens the port; SerialPort adds
// the non-waiting read that the window's receive thread uses.
//
// No OS header appears here: port_posix.cpp and port_win32.cpp hold what the
// failure texts need of each OS.

#include <chrono>
#include <cstdint>
#include <string>

// Why an open failed: one closed set for every kind of port and every OS, each
// of which translates its own errors into it.
enum class OpenFailure : std::uint8_t {
    None,             // the last open succeeded, or none was tried
    NoSuchDevice,     // the port names no device, or the device is not there
    PermissionDenied, // the user may not open the device
    Busy,             // another program holds the device
    SettingRefused,   // the device refused the line settings (speed, size, parity)
    Other,            // anything else; the OS text says what
    // A port on the network (TcpPort and the ports over it):
    ConnectionRefused, // nothing listens on that TCP port
    HostNotFound,      // the host name could not be resolved
    NoAnswer,          // the server did not answer in time: connecting, negotiating or settings
    ConnectionLost,    // an open connection was dropped; recorded when it happens, not by open
    NotRfc2217,        // the server sent data or Telnet commands but never accepted the COM-PORT option
    // A local serial device asked for the kernel's RS-485 mode (setRs485):
    NoRs485Mode, // the driver has no RS-485 mode, or refused it
};

// "no such device", "permission denied", "in use by another program",
// "line settings refused", "other error", "connection refused", "host not
// found", "no answer from the server", "connection lost", "not an RFC 2217
// server", "no RS-485 mode on this device".
const char* openFailureText(OpenFailure cause);

// What the user can do about the cause on this platform ("" when nothing
// useful can be said), e.g. joining the dialout group on Linux.
const char* openFailureHint(OpenFailure cause);

// The OS's own words for one of its error codes: an errno, or on Windows a
// system or Windows Sockets error ("error N" when it has none).
std::string osErrorText(unsigned long osError);

// The result of a waiting read.
struct WaitedRead {
    std::uint32_t count = 0; // bytes placed in the buffer
    bool deviceGone = false; // the device hung up or failed; no more bytes will come
    // Set when the server in front of the line says that no reply will come
    // (a Modbus TCP gateway's exceptions): why, in its words. Lives as long as the port.
    const char* noReply = nullptr;
};

class Port {
public:
    virtual ~Port() = default;

    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Stores the line settings for the next open; touches no device. Parity
    // 0 none, 1 odd, 2 even; stop bits 0 or 1 for one, 2 for two.
    void setLineSettings(std::uint8_t dataBits, std::uint8_t parity, std::uint8_t stopBits, std::uint32_t baudRate) {
        dataBits_ = dataBits;
        parity_ = parity;
        stopBits_ = stopBits;
        baudRate_ = baudRate;
    }
    std::uint32_t baudRate() const { return baudRate_; }
    std::uint8_t dataBits() const { return dataBits_; }
    std::uint8_t parity() const { return parity_; }
    std::uint8_t stopBits() const { return stopBits_; }

    // Opens what path names with the stored line settings and purges what was
    // queued. Nonzero on success, 0 on failure (nothing held); lastOpenFailure
    // and devicePath then say why and what was tried.
    virtual int openPath(const std::string& path) = 0;

    // Ends the use of the port; returns whether it was in use.
    virtual bool close() = 0;

    // Writes count bytes and blocks until they are taken, about 1000 ms at
    // most. 1 when the write was issued, 0 when the port is closed or the
    // write was refused outright.
    virtual int write(const std::uint8_t* buffer, std::uint32_t count) = 0;

    // Waits up to timeout for bytes, then copies at most maxBytes of those
    // queued.
    virtual WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) = 0;

    // Why the last open failed (None after a successful one), the device path
    // or server it tried ("" when the port named none) and the OS's own words
    // for the error ("" when there was none).
    OpenFailure lastOpenFailure() const { return openFailure_; }
    const std::string& devicePath() const { return devicePath_; }
    const std::string& openFailureDetail() const { return openFailureDetail_; }

protected:
    Port() = default;

    // What the last open tried, and why it failed or the port was lost (None,
    // "" when it did not).
    void recordFailure(const std::string& devicePath, OpenFailure cause, const std::string& detail) {
        devicePath_ = devicePath;
        recordFailure(cause, detail);
    }
    // The same, for the path already recorded.
    void recordFailure(OpenFailure cause, const std::string& detail) {
        openFailure_ = cause;
        openFailureDetail_ = detail;
    }

private:
    // Written by the thread that opens the port.
    std::uint8_t dataBits_ = 0;
    std::uint8_t parity_ = 0;
    std::uint8_t stopBits_ = 0;
    std::uint32_t baudRate_ = 0;
    OpenFailure openFailure_ = OpenFailure::None;
    std::string devicePath_;
    std::string openFailureDetail_;
};

// One line that says which port failed to open and why, for a person to read:
// "COM3 (/dev/ttyUSB2): permission denied (Permission denied); add yourself to
// the dialout group ...". portName is how the user named the port.
std::string openFailureLine(const Port& port, const std::string& portName);
