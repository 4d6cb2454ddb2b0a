#pragma once
// The names of ports on the network, one scheme per kind of device server:
// "rfc2217://HOST:PORT", "tcp://HOST:PORT" and "modbus-tcp://HOST[:PORT]".

#include <cstdint>
#include <string>

enum class NetworkScheme : std::uint8_t {
    Rfc2217,   // Telnet with the COM-PORT option: the line settings travel too
    Tcp,       // a transparent server: bytes in, bytes out, at the box's own rate
    ModbusTcp, // a Modbus TCP gateway (MBAP), default TCP port 502
};

// HOST is a name, an IPv4 address, or an IPv6 address in brackets.
struct NetworkEndpoint {
    NetworkScheme scheme = NetworkScheme::Rfc2217;
    std::string host;
    std::uint16_t port = 0;
};

// The forms a network port may take, for messages that refuse another.
inline constexpr const char* kNetworkPortForms =
    "rfc2217://HOST:PORT, tcp://HOST:PORT or modbus-tcp://HOST[:PORT] (PORT 1 to 65535, 502 when a Modbus TCP "
    "gateway's is left out; an IPv6 address in brackets)";

// Whether name asks for a network port at all: it has a scheme ("...://"),
// known or not, so that a mistyped one is refused rather than taken for a
// device path.
bool isNetworkPortName(const std::string& name);

// Splits a network port's name; false unless it is exactly one of the forms.
bool parseNetworkPortName(const std::string& name, NetworkEndpoint& endpoint);

// Whether the serial rate behind the port is the server's own, out of reach
// of line settings sent from here.
inline bool rateIsTheServers(NetworkScheme scheme) { return scheme != NetworkScheme::Rfc2217; }

// "host:port", with an IPv6 address in brackets.
std::string hostAndPort(const std::string& host, std::uint16_t port);
