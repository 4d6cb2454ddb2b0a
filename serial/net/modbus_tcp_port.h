#pragma once
// A Modbus TCP gateway in front of a serial line, named
// "modbus-tcp://HOST[:PORT]" (port 502 when left out). The gateway speaks
// Modbus RTU on its line itself, so only Modbus requests pass. To whatever
// writes and reads the port it still looks like the line: each RTU request
// written goes out as its PDU under an MBAP header, with the request's address
// as the unit identifier (255 too, as it is), and each reply comes back as an
// RTU frame with its CRC.
//
// Adds only the MBAP header to TcpPort.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "serial/net/mbap.h"
#include "serial/net/tcp_port.h"

class ModbusTcpPort final : public TcpPort {
public:
    explicit ModbusTcpPort(std::chrono::milliseconds openTimeout) : TcpPort(openTimeout, NetworkScheme::ModbusTcp) {}

    // 0, sending nothing, when buffer is no RTU request (an FD frame cannot
    // pass a gateway), or as TcpPort::write.
    int write(const std::uint8_t* buffer, std::uint32_t count) override;
    // The gateway's exceptions 0x0A and 0x0B end the wait with no bytes and
    // noReply saying so; a stream that is no Modbus TCP ends the session
    // (ConnectionLost, saying how).
    WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) override;

private:
    bool startSession(Clock::time_point deadline) override;
    void sessionEnded() override;

    MbapReplies replies_;
    std::uint16_t transaction_ = 0;
    std::uint8_t adu_[mbap::kMaxAdu];
    std::uint8_t rtu_[mbap::kMaxRtu]; // the reply not yet read
    std::size_t rtuHead_ = 0, rtuTail_ = 0;
    // The gateway's exceptions in words that name it, written once a session starts.
    char noPath_[160] = "";
    char noResponse_[160] = "";
};
