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
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

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
    // queues and configures it. Nonzero on success, 0 on failure (nothing held).
    virtual int open();

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

    // Written by open/close on the user-interface thread; read by the receive
    // thread as its gate before every read.
    std::atomic<bool> isOpen{false};

    std::uint8_t portNumber() const { return portNumber_; }
    std::uint32_t baudRate() const { return baudRate_; }

    // The device path port n names under the system rule ("" = none).
    static std::string systemPortName(std::uint8_t portNumber);

    struct Native;                         // backend state, defined per platform

private:
    PortNamer namer_;
    std::uint8_t portNumber_ = 0;
    std::uint8_t dataBits_ = 0;
    std::uint8_t parity_ = 0;
    std::uint8_t stopBits_ = 0;
    std::uint32_t baudRate_ = 0;
    std::mutex handleMutex_;               // held across read and across open/close
    std::unique_ptr<Native> native_;

    // Backend steps, called with handleMutex_ held.
    bool acquireLocked(const std::string& path);   // open the device exclusively, purge, set time-outs
    bool configureLocked();
    bool closeLocked();
};
