#pragma once
// Link: the command-line tool's end of the port (not to be confused with an
// RS-485 line, which may carry several transmitters): opening the port the user
// named, and request/reply exchanges that wait in the kernel and release a
// reply the moment its bytes check.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "protocol/echo.h"
#include "protocol/reply_framing.h"
#include "serial/local/serial_port.h"
#include "serial/port.h"

enum class ReplyStatus : std::uint8_t {
    Ok,         // a frame of the expected shape, CRC good
    Exception,  // the transmitter refused the request (Modbus exception, or the FD equivalent)
    Invalid,    // bytes came, but none formed a usable reply
    NoReply,    // nothing came before the timeout
    DeviceGone, // the device hung up or failed
};

struct Reply {
    ReplyStatus status = ReplyStatus::NoReply;
    const std::uint8_t* frame = nullptr; // into the line's buffer; valid until the next exchange
    std::uint16_t length = 0;
    const char* why = "";          // for Invalid: what was wrong with the bytes; for NoReply: what the
                                   // server in front of the line said of it ("" when it said nothing)
    std::uint8_t otherAddress = 0; // for Invalid wrong-address replies
    bool echoOnly = false;         // for NoReply: the port's echo of the request came, and nothing after it
};

// How often a lost port is tried again, by its name, until it opens.
inline constexpr std::chrono::seconds kReopenPeriod{1};

class Link {
public:
    // portName is how the user named the port: "COMn" (the window's naming
    // rule), a device path, or a port on the network. timeout bounds the wait
    // for a reply to start, from the end of the request.
    Link(Port& port, std::string portName, std::chrono::milliseconds timeout, std::FILE* verbose);
    // For a serial device on this computer, which is port: its naming rule
    // says what portName opens, and -v tells whether it got low latency.
    void setLocal(const SerialPort& local) { local_ = &local; }

    // Closes, then opens at baud (8N1). False when the open failed; the port
    // then says why (openFailureLine).
    bool reopen(std::uint32_t baud);
    // Lets go of a port whose device has gone, so that the OS can give its
    // name to the device when it comes back.
    void close() { port_.close(); }
    std::uint32_t baud() const { return baud_; }

    // What the user said of the adapter's echo: Unknown (learn it from the
    // first exchange after each open), Echoes or Plain.
    void setEchoMode(EchoKnowledge mode) { echoMode_ = echo_ = mode; }
    // What is known of it now.
    EchoKnowledge echo() const { return echo_; }

    // Sends request[0..length) and waits for its reply. No heap allocation.
    Reply exchange(const std::uint8_t* request, std::uint16_t length);
    // After an exchange: waits out the rest of the time in which a reply to its
    // request could start, and says whether nothing more came. A second
    // transmitter that answered the same request shows here.
    bool quietUntilTimeout();
    // The reply of the last exchange.
    const Reply& lastReply() const { return last_; }
    // Whether the last exchange found the port gone: the device hung up or
    // failed, or a device server's connection dropped.
    bool portGone() const { return last_.status == ReplyStatus::DeviceGone; }

    const std::string& portName() const { return portName_; }
    // The device that was opened, or that the port names now.
    std::string devicePath() const;
    std::string openFailure() const { return openFailureLine(port_, portName_); }
    // Whether the port was lost while open: a device server's connection
    // dropped. openFailure then says how.
    bool connectionLost() const { return port_.lastOpenFailure() == OpenFailure::ConnectionLost; }
    std::chrono::milliseconds timeout() const { return timeout_; }

    // One line of text with -v, timestamped as the frames are.
    void note(const char* text) const;

    // The wire time of count bytes at the current rate (10 bits a byte).
    std::chrono::microseconds wireTime(std::uint32_t count) const;

private:
    void drain();
    // Drains, then writes the request; false when the port would not take it.
    // requestEnd: when its last byte has left, at the line rate.
    bool send(const std::uint8_t* request, std::uint16_t length, std::chrono::steady_clock::time_point& requestEnd);
    Reply exchangeOnce(const std::uint8_t* request, std::uint16_t length);
    // Sorts what came into the reply, count bytes of which the first skip are the echo.
    Reply judge(const ReplyScan& scan, std::uint16_t count, std::uint16_t skip, const ReplyShape& shape) const;
    void logFrame(const char* direction, const std::uint8_t* bytes, std::uint32_t count) const;
    // The time since the link was made, at the start of a verbose line.
    void stamp() const;
    // Says once, and again when it changes, whether the driver gave the port low latency.
    void logLowLatency();

    Port& port_;
    const SerialPort* local_ = nullptr;
    std::string portName_;
    std::chrono::milliseconds timeout_;
    std::FILE* verbose_;
    std::uint32_t baud_ = 0;
    EchoKnowledge echoMode_ = EchoKnowledge::Unknown;
    EchoKnowledge echo_ = EchoKnowledge::Unknown;
    int loggedLowLatency_ = -1; // what logLowLatency last said: -1 nothing, 0 not set, 1 set
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point replyWindowEnd_; // the last request's end plus the timeout
    std::uint8_t buffer_[1024];
    Reply last_;
};
