#pragma once
// A serial port on a device server, reached over TCP with the Telnet
// COM-PORT option (RFC 2217) and named "rfc2217://HOST:PORT": ser2net, or a
// dedicated box. Line settings and purges travel as COM-PORT commands, and the
// server applies them to its serial device.
//
// Adds only the Telnet codec and the COM-PORT option to TcpPort.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/net/tcp_port.h"
#include "serial/net/telnet_codec.h"

class Rfc2217Port final : public TcpPort {
public:
    // openTimeout bounds each open as a whole: name resolution, connecting,
    // the Telnet negotiation and the server's answers to the line settings.
    explicit Rfc2217Port(std::chrono::milliseconds openTimeout) : TcpPort(openTimeout, NetworkScheme::Rfc2217) {}

    int write(const std::uint8_t* buffer, std::uint32_t count) override;
    WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) override;

private:
    bool startSession(Clock::time_point deadline) override;
    bool applySettings(Clock::time_point deadline) override;
    void sessionEnded() override { dataHead_ = dataTail_ = 0; }

    // Receives once, waiting until deadline at most, and decodes what came.
    Io pump(Clock::time_point deadline);
    // pump, or TimedOut without receiving once the deadline has passed.
    Io pumpBefore(Clock::time_point deadline);
    // Records that the server spoke but did not negotiate; always false.
    bool notRfc2217();
    // The printable start of the serial data not yet read, for a failure's text.
    std::string printableData() const;
    std::string serverSaid() const override { return printableData(); }

    TelnetCodec codec_;
    std::uint8_t raw_[1024];  // bytes as they came from the server
    std::uint8_t data_[4096]; // serial bytes decoded and not yet read
    std::size_t dataHead_ = 0, dataTail_ = 0;
    std::uint8_t out_[2 * 512]; // serial bytes encoded for the server
};
