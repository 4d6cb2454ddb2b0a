#pragma once
// A software transmitter on a pseudo-terminal.
//
// It holds the pty master and answers requests like a real transmitter, in the
// FD dialect or the Modbus dialect, but only while the port's speed (as the
// slave side configured it) equals its own baud rate. Its CRC and frame code
// are its own, independent of the tool's protocol code.
//
// In the FD dialect it answers FD frames and the register frames sent to its
// own address; in the Modbus dialect it answers only frames sent to 0xFF, and
// register 0x0200 holds the bus address (the identity block) instead of the area.
// An FD frame's exception reply is FD FD FD (command | 0x80) 01 CRC. Every
// complete request is logged, answered or not.
//
// Thread-safe: the serving thread runs from start() until stop()/destruction;
// every public member may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

enum class Dialect { Fd, Modbus };

enum class Fault {
    None,
    Silence,      // read requests, answer nothing
    BadCrc,       // flip a bit of the reply's CRC
    Exception,    // answer a register or identity request with a Modbus exception (function | 0x80, code 01)
    WrongAddress, // answer from another address (address + 1)
    Noise,        // emit noise bytes (0x00 0x55 0xAA) right before the reply
    Split,        // emit the first half, pause splitMs, then the rest
    HangUp,       // close the pty master on the next request
};

struct Config {
    Dialect dialect = Dialect::Fd;
    std::uint8_t address = 1;
    std::uint32_t baud = 9600;
    std::uint8_t parityCode = 0;
    std::uint8_t stopCheckA = 0;
    std::uint8_t stopCheckB = 0;
    std::uint16_t velocityTenths = 123; // register 0x0000
    float volume = 1328.4f;             // registers 0x0002..0x0003, m3/h
    std::uint16_t area = 300;           // register 0x0200 in the FD dialect, cm2
    bool lineRate = false;              // pace both directions at 10 bits per byte
    unsigned turnaroundMs = 0;          // pause between a request and its reply
    bool echo = false;                  // hand every request back before answering (read at start)
};

struct LoggedRequest {
    std::vector<std::uint8_t> bytes;
    std::uint32_t speed; // the port speed when it arrived, bit/s (0 if unknown)
};

class SimTransmitter {
public:
    explicit SimTransmitter(Config config = {});
    ~SimTransmitter(); // stops serving and closes the pty

    SimTransmitter(const SimTransmitter&) = delete;
    SimTransmitter& operator=(const SimTransmitter&) = delete;

    // Opens the pty and starts serving. False if no pty could be made.
    bool start();
    void stop();

    // The slave device path, e.g. /dev/pts/7 ("" before start()).
    std::string slavePath() const;

    // The fault applies to every reply until it is set back to Fault::None.
    void setFault(Fault fault, unsigned splitMs = 0);

    // Emits raw bytes to the slave side now (paced at the line rate if enabled).
    void sendRaw(const std::vector<std::uint8_t>& bytes);

    // Every request received, in order, with the speed at that moment.
    std::vector<LoggedRequest> requests() const;
    void clearRequests();

    // The transmitter's current registers and identity.
    Config state() const;
    void setState(const Config& config);

private:
    struct Impl;
    Impl* impl_;
};

// Several FD-dialect transmitters on one pseudo-terminal, as on an installed
// RS-485 line: each answers the register frames sent to its own address and
// every one answers the FD frames (which carry no address); replies that
// overlap in time collide, and the receiver gets bytes that fail their CRC.
//
// Each transmitter answers while the port speed equals its own baud rate,
// which starts as the line's and moves with an FD baud command, as a real one
// would. Whether it is plugged is judged when a request arrives. Every
// complete request is logged, answered or not.
//
// Thread-safe like SimTransmitter: every public member may be called from any
// thread, before or while serving.
class SimLine {
public:
    SimLine(std::uint32_t baud = 9600, bool lineRate = true);
    ~SimLine(); // stops serving, closes the pty
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Adds a transmitter before or after start(); config.dialect must be Fd,
    // config.baud and config.lineRate are taken from the line. Returns its index.
    std::size_t add(const Config& config);
    bool start(); // false if no pty could be made
    void stop();
    std::string slavePath() const; // "" before start()
    // Hands every request back before the replies, as an echoing adapter; before start().
    void setEcho(bool on);

    void unplug(std::size_t index); // goes silent
    void plug(std::size_t index);   // answers again, with its state as it was
    // setState() keeps the transmitter's baud rate, dialect and pacing.
    Config state(std::size_t index) const;
    void setState(std::size_t index, const Config& config);

    std::vector<LoggedRequest> requests() const; // every request received, in order
    void clearRequests();

private:
    struct Impl;
    Impl* impl_;
};

// CRC-16/MODBUS of count bytes, computed bit by bit; the low byte goes on the
// wire first.
std::uint16_t frameCrc(const std::uint8_t* bytes, std::size_t count);

} // namespace sim
