#pragma once
// One serial device, opened by port number with fixed line settings.
//
// The user-interface thread calls setParams, open, close and write; the receive
// thread calls read and reads isOpen before every read. The device handle is
// never released or replaced while a read is using it.
//
// No OS header appears here: each backend (serial_port_posix.cpp,
// serial_port_win32.cpp) defines the Native record it needs.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Why an open failed: one closed set for every backend, each of which
// translates its own OS errors into it.
enum class OpenFailure : std::uint8_t {
    None,              // the last open succeeded, or none was tried
    NoSuchDevice,      // the port names no device, or the device is not there
    PermissionDenied,  // the user may not open the device
    Busy,              // another program holds the device
    SettingRefused,    // the device refused the line settings (speed, size, parity)
    Other,             // anything else; the OS text says what
    // A port on a device server (NetworkSerialPort):
    ConnectionRefused, // nothing listens on that TCP port
    HostNotFound,      // the host name could not be resolved
    NoAnswer,          // the server did not answer in time: connecting, negotiating or settings
    ConnectionLost,    // an open connection was dropped; recorded when it happens, not by open
};

// "no such device", "permission denied", "in use by another program",
// "line settings refused", "other error", "connection refused", "host not
// found", "no answer from the server", "connection lost".
const char* openFailureText(OpenFailure cause);

// What the user can do about the cause on this platform ("" when nothing
// useful can be said), e.g. joining the dialout group on Linux.
const char* openFailureHint(OpenFailure cause);

class SerialPort;

// One line that says which port failed to open and why, for a person to read:
// "COM3 (/dev/ttyUSB2): permission denied (Permission denied); add yourself to
// the dialout group ...". portName is how the user named the port.
std::string openFailureLine(const SerialPort& port, const std::string& portName);

// The result of a waiting read.
struct WaitedRead {
    std::uint32_t count = 0;   // bytes placed in the buffer
    bool deviceGone = false;   // the device hung up or failed; no more bytes will come
};

class SerialPort {
public:
    // Device path for port number n; "" means there is no such device.
    using PortNamer = std::function<std::string(std::uint8_t portNumber)>;

    SerialPort();                          // the system's naming rule
    explicit SerialPort(PortNamer namer);
    virtual ~SerialPort();                 // closes the device if open

    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Stores the parameters for the next open; touches no device.
    void setParams(std::uint8_t portNumber, std::uint8_t dataBits, std::uint8_t parity,
                   std::uint8_t stopBits, std::uint32_t baudRate) {
        portNumber_ = portNumber;
        dataBits_ = dataBits;
        parity_ = parity;
        stopBits_ = stopBits;
        baudRate_ = baudRate;
    }

    // Applies the stored parameters to the open device. False when the device
    // refuses them (for example a speed the OS does not know).
    virtual bool configure();

    // Opens the device named by the port number, exclusively, purges both
    // queues and configures it. Nonzero on success, 0 on failure (nothing held);
    // lastOpenFailure and devicePath then say why and what was tried.
    virtual int open();

    // Opens the device at path directly, bypassing the naming rule; otherwise as open().
    virtual int openPath(const std::string& path);

    // Releases the device if one is held; isOpen is false afterwards.
    // Returns whether a device was released.
    virtual bool close();

    // Copies at most maxBytes of the bytes already queued; never waits.
    // 0 when closed, when nothing is queued, or when the device has gone.
    virtual std::uint32_t read(std::uint8_t* buffer, std::uint32_t maxBytes);

    // Writes count bytes and blocks until the device has taken them, about
    // 1000 ms at most. 1 when the write was issued, 0 when the port is closed
    // or the device refused it outright.
    virtual int write(const std::uint8_t* buffer, std::uint32_t count);

    // Waits in the kernel up to timeout for bytes, then copies at most maxBytes
    // of those queued. For callers without a receive thread: like write, it
    // must run on the thread that opens and closes the port.
    virtual WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes,
                                std::chrono::milliseconds timeout);

    // Why the last open failed (None after a successful one), the device path
    // it tried ("" when the port named none) and the OS's own words for the
    // error ("" when there was none). UI thread.
    OpenFailure lastOpenFailure() const { return openFailure_; }
    const std::string& devicePath() const { return devicePath_; }
    const std::string& openFailureDetail() const { return openFailureDetail_; }

    // Written by open/close on the user-interface thread; read by the receive
    // thread as its gate before every read.
    std::atomic<bool> isOpen{false};

    std::uint8_t portNumber() const { return portNumber_; }
    std::uint32_t baudRate() const { return baudRate_; }
    std::uint8_t dataBits() const { return dataBits_; }
    std::uint8_t parity() const { return parity_; }
    std::uint8_t stopBits() const { return stopBits_; }

    // The device path port n names under the system rule ("" = none).
    static std::string systemPortName(std::uint8_t portNumber);

    // The devices present that the system rule numbers, in port order, each
    // with its port number (at most 255 of them).
    struct PresentDevice {
        std::uint8_t portNumber;
        std::string path;
    };
    static std::vector<PresentDevice> systemDevices();

    // The device port n names now under this port's naming rule ("" = none).
    std::string deviceFor(std::uint8_t portNumber) const {
        return portNumber == 0 || !namer_ ? std::string() : namer_(portNumber);
    }

    // Ports 1..count as deviceFor names them, looking at the system's devices
    // only once under the system rule.
    std::vector<std::string> devicesFor(std::uint8_t count) const;

    // The device paths of ports 1..count under the system rule ("" = none).
    static std::vector<std::string> systemPortNames(std::uint8_t count);

    // The device's stable name under /dev/serial/by-id ("" when it has none,
    // and always on Windows).
    static std::string stableName(const std::string& devicePath);

    struct Native;                         // backend state, defined per platform

protected:
    // For ports that reach something other than a local device: what the last
    // open tried, and why it failed or the port was lost (None, "" when it did not).
    void recordFailure(const std::string& devicePath, OpenFailure cause, const std::string& detail) {
        devicePath_ = devicePath;
        openFailure_ = cause;
        openFailureDetail_ = detail;
    }

private:
    PortNamer namer_;
    bool systemRule_ = false;   // namer_ is the system rule
    std::uint8_t portNumber_ = 0;
    std::uint8_t dataBits_ = 0;
    std::uint8_t parity_ = 0;
    std::uint8_t stopBits_ = 0;
    std::uint32_t baudRate_ = 0;
    OpenFailure openFailure_ = OpenFailure::None;   // UI thread
    std::string devicePath_;                        // UI thread
    std::string openFailureDetail_;                 // UI thread
    std::mutex handleMutex_;               // held across read and across open/close
    std::unique_ptr<Native> native_;

    int openLocked(const std::string& path);

    // Backend steps, called with handleMutex_ held. acquireLocked and
    // configureLocked record the cause of a failure in openFailure_.
    bool acquireLocked(const std::string& path);   // open the device exclusively, purge, set time-outs
    bool configureLocked();
    bool closeLocked();
    // The backend's one translation of an OS error code into a cause.
    void recordOsFailure(unsigned long osError);
};
