#pragma once
// How one transmitter answers one request: framing, the register map of both
// dialects and the FD commands. Shared by the lone transmitter and the line.

#include "sim/sim_transmitter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

struct Answer {
    Bytes reply;               // empty: the transmitter stays silent
    Bytes exception;           // what Fault::Exception sends instead
    std::uint32_t newBaud = 0; // nonzero: switch after the reply is out
};

// Answers request as the transmitter c would at port speed speed (bit/s);
// c takes every change but a new baud rate, which waits for the reply.
Answer answerRequest(const Bytes& request, std::uint32_t speed, Config& c);

// The length of the request at the front of buf: a frame length, 0 when more
// bytes are needed to tell, -1 when the first byte cannot start a request.
int requestLength(const std::uint8_t* buf, std::size_t size);

bool isFdFrame(const Bytes& frame);
void appendCrc(Bytes& frame);

} // namespace sim
