#pragma once
// Adapters whose receiver hears their own transmitter hand every request back
// before the transmitter's reply. Knowing that, a reader drops the copy and
// judges what follows. An echo with nothing after it is no reply: a write
// acknowledgement can be byte for byte its request, so the copy must never
// stand in for one. Pure functions; they read bytes[0..count) only.

#include <cstdint>

enum class EchoCheck : std::uint8_t {
    Copy,   // bytes start with an exact copy of the request; the reply begins at its length
    Prefix, // every byte so far matches the request (none yet, or a copy still arriving)
    Absent, // the bytes differ from the request: no echo in front of them
};

EchoCheck checkEcho(const std::uint8_t* request, std::uint16_t length, const std::uint8_t* bytes, std::uint16_t count);

// What a port is known to do with what it sends: Unknown until an exchange
// shows it, or the user says so.
enum class EchoKnowledge : std::uint8_t { Unknown, Echoes, Plain };

// Learns from one exchange's bytes, when the knowledge is still Unknown, and
// returns where the reply begins: past the copy when the port echoes, else 0.
// A copy still incomplete (Prefix) teaches nothing and starts the reply at 0.
std::uint16_t echoOffset(EchoKnowledge& knowledge, const std::uint8_t* request, std::uint16_t length,
                         const std::uint8_t* bytes, std::uint16_t count);
