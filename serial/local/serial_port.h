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

#include "serial/port.h"

class SerialPort : public Port {
public:
    // Device path for port number n; "" means there is no such device.
    using PortNamer = std::function<std::string(std::uint8_t portNumber)>;

    SerialPort(); // the system's naming rule
    explicit SerialPort(PortNamer namer);
    ~SerialPort() override; // closes the device if open

    // Stores the parameters for the next open; touches no device.
    void setParams(std::uint8_t portNumber, std::uint8_t dataBits, std::uint8_t parity, std::uint8_t stopBits,
                   std::uint32_t baudRate) {
        portNumber_ = portNumber;
        setLineSettings(dataBits, parity, stopBits, baudRate);
    }

    // Opens the device named by the port number, exclusively, purges both
    // queues and configures it: openPath of the device the naming rule gives.
    // Nonzero on success, 0 on failure (nothing held); lastOpenFailure and
    // devicePath then say why and what was tried.
    int open() { return openPath(deviceFor(portNumber_)); }

    // Opens the device at path directly, bypassing the naming rule; otherwise as open().
    int openPath(const std::string& path) override;

    // "COMn" is the device port n names under this port's naming rule; any
    // other name is taken as a device path.
    std::string pathFor(const std::string& portName) const;

    // Whether the next open puts the device into RS-485 mode, where the UART
    // itself drives the transceiver's direction (RTS while sending).
    void setRs485(bool on) { rs485_ = on; }
    bool rs485() const { return rs485_; }

    // Whether the last open got the driver's low-latency mode; false where the
    // device has no such setting (a pty, a plain UART).
    bool lowLatency() const { return lowLatency_; }

    // Releases the device if one is held; isOpen is false afterwards.
    // Returns whether a device was released.
    bool close() override;

    // Copies at most maxBytes of the bytes already queued; never waits.
    // 0 when closed, when nothing is queued, or when the device has gone.
    virtual std::uint32_t read(std::uint8_t* buffer, std::uint32_t maxBytes);

    // Writes count bytes and blocks until the device has taken them, about
    // 1000 ms at most. 1 when the write was issued, 0 when the port is closed
    // or the device refused it outright.
    int write(const std::uint8_t* buffer, std::uint32_t count) override;

    // Waits in the kernel up to timeout for bytes, then copies at most maxBytes
    // of those queued. For callers without a receive thread: like write, it
    // must run on the thread that opens and closes the port.
    WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) override;

    // Written by open/close on the user-interface thread; read by the receive
    // thread as its gate before every read.
    std::atomic<bool> isOpen{false};

    std::uint8_t portNumber() const { return portNumber_; }

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

    // Asks the driver of devicePath for low latency, as open does, without
    // touching the line settings; false when the device is held by another
    // program, cannot be opened or has no such setting (always on Windows).
    static bool lowerLatency(const std::string& devicePath);

    struct Native; // backend state, defined per platform

private:
    PortNamer namer_;
    bool systemRule_ = false;     // namer_ is the system rule
    std::uint8_t portNumber_ = 0; // UI thread
    bool rs485_ = false;          // UI thread
    bool lowLatency_ = false;     // UI thread
    std::mutex handleMutex_;      // held across read and across open/close
    std::unique_ptr<Native> native_;

    int openLocked(const std::string& path);

    // Backend steps, called with handleMutex_ held. acquireLocked and
    // configureLocked record the cause of a failure.
    bool acquireLocked(const std::string& path); // open the device exclusively, purge, set time-outs
    bool configureLocked();
    bool closeLocked();
    // The backend's one translation of an OS error code into a cause.
    void recordOsFailure(unsigned long osError);
};
