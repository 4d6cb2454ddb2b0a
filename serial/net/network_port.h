#pragma once
// A serial port on a device server, reached over TCP with the Telnet
// COM-PORT option (RFC 2217) and named "rfc2217://HOST:PORT": ser2net, or a
// dedicated box. Line settings and purges travel as COM-PORT commands, and the
// server applies them to its serial device.
//
// Every member runs on the one thread that opens the port. Every network wait
// has a deadline; failures and a lost connection are reported through
// lastOpenFailure, in the causes of OpenFailure.
//
// No OS header appears here: network_port_posix.cpp and network_port_win32.cpp
// each define the Socket record and the socket steps.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serial/net/telnet_codec.h"
#include "serial/port.h"

// HOST is a name, an IPv4 address, or an IPv6 address in brackets.
struct NetworkEndpoint {
    std::string host;
    std::uint16_t port = 0;
};

// Whether name asks for a network port: it begins with "rfc2217://".
bool isNetworkPortName(const std::string& name);

// Splits "rfc2217://HOST:PORT"; false unless name is exactly of that form
// with PORT 1 to 65535.
bool parseNetworkPortName(const std::string& name, NetworkEndpoint& endpoint);

class NetworkSerialPort final : public Port {
public:
    // openTimeout bounds each open as a whole: name resolution, connecting,
    // the Telnet negotiation and the server's answers to the line settings.
    explicit NetworkSerialPort(std::chrono::milliseconds openTimeout);
    ~NetworkSerialPort() override; // ends the session

    // name is "rfc2217://HOST:PORT". While a session with the same server is
    // up (see close), only the line settings and a purge are sent.
    int openPath(const std::string& name) override;

    // Ends the use of the port but keeps the TCP session: a device server
    // reopens its serial device for every new connection (ser2net drops DTR
    // and restores its default settings), and detection reopens at every rate
    // it tries. disconnect, or destruction, ends the session.
    bool close() override;
    void disconnect();

    // 0 when the port is closed or the connection is gone (the loss is then
    // in lastOpenFailure as ConnectionLost).
    int write(const std::uint8_t* buffer, std::uint32_t count) override;
    // deviceGone when the connection is gone, as write.
    WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) override;

    // TCP payload since construction, each way, in bytes.
    std::uint64_t bytesSent() const { return bytesSent_; }
    std::uint64_t bytesReceived() const { return bytesReceived_; }

    struct Socket; // backend state

private:
    using Clock = std::chrono::steady_clock;
    enum class Io : std::uint8_t { Done, TimedOut, Lost };

    // A server's address as the OS's socket calls take it (a sockaddr_storage),
    // and its host part as text: "192.0.2.7", "2001:db8::7".
    struct Address {
        alignas(8) std::uint8_t storage[128] = {};
        std::uint32_t length = 0;
        std::string host;
    };
    // What a lookup of the server found.
    struct Lookup {
        bool notNumeric = false; // a numeric-only lookup met a name: the name service must answer
        int error = 0;           // the resolver's code; 0 when addresses were found
        std::string failure;     // the resolver's words for error
        std::vector<Address> addresses;
    };

    bool startSession(const NetworkEndpoint& endpoint, Clock::time_point deadline);
    bool applySettings(Clock::time_point deadline);
    // Receives once, waiting until deadline at most, and decodes what came.
    Io pump(Clock::time_point deadline);
    // pump, or TimedOut without receiving once the deadline has passed.
    Io pumpBefore(Clock::time_point deadline);
    Io send(const std::uint8_t* bytes, std::size_t count, Clock::time_point deadline);
    // Records how a wait during open ended badly; always false.
    bool openFailed(Io io, const char* waitingFor);
    // Records that the server spoke but did not negotiate; always false.
    bool notRfc2217();
    // The printable start of the serial data not yet read, for a failure's text.
    std::string printableData() const;
    void lose();
    std::string where() const;

    // Resolves and connects, recording the cause of a failure.
    bool connectSocket(const NetworkEndpoint& endpoint, Clock::time_point deadline);
    // The numeric lookup first; when the host is a name, the name service on a
    // helper thread, because getaddrinfo itself has no time limit. Nullopt,
    // with the failure recorded, when that found no answer by the deadline.
    std::optional<Lookup> lookUp(const NetworkEndpoint& endpoint, Clock::time_point deadline);
    // One address: Done when connected, TimedOut at the deadline, Lost with
    // the OS's error code in error.
    Io connectTo(const Address& address, Clock::time_point deadline, int& error);
    // Sends out[0..count) or receives into in[0..count) (the other is null),
    // waiting until deadline at most for the socket to take or give bytes. A
    // lost connection leaves the OS's error code in lastOsError_ (0 for an
    // orderly close by the server).
    Io transfer(const std::uint8_t* out, std::uint8_t* in, std::size_t count, std::size_t& moved,
                Clock::time_point deadline);

    // getaddrinfo for endpoint with hints: the resolver's code, and the
    // addresses it found. Every OS spells the call and its records alike: each
    // backend passes its own addrinfo (as hints), sockaddr_in, sockaddr_in6
    // and AF_INET6, and the calls are found through them.
    template <class In4, class In6, class AddrInfo>
    static Lookup lookUpAddresses(const NetworkEndpoint& endpoint, const AddrInfo& hints, int inet6);

    // Backend steps (network_port_posix.cpp, network_port_win32.cpp).
    // Whether the OS's sockets can be used; records why not.
    bool socketsStarted();
    static Lookup resolve(const NetworkEndpoint& endpoint, bool numericOnly);
    // The backend's one translation of an OS error code into a cause.
    static OpenFailure causeOf(int osError);
    // Whether an error code only says that the call would have waited.
    static bool wouldBlock(int osError);
    // Opens a non-blocking socket to address and starts connecting: 0 when
    // connected or (pending) still connecting, otherwise the OS's error code.
    int openSocket(const Address& address, bool& pending);
    // The outcome of a connect that was pending: 0, or the OS's error code.
    int socketError() const;
    void closeSocket();
    bool socketOpen() const;
    // Waits until the socket can take (forWriting) or give bytes, or has
    // failed; false when the deadline came first.
    bool socketReady(bool forWriting, Clock::time_point deadline) const;
    // One send or receive without waiting: the bytes moved, 0 for an orderly
    // close by the server, negative with the OS's error code in error.
    long moveOnce(const std::uint8_t* out, std::uint8_t* in, std::size_t count, int& error);

    std::chrono::milliseconds openTimeout_;
    std::unique_ptr<Socket> socket_;
    bool open_ = false;       // in use between openPath and close
    std::string sessionName_; // the port name the session was opened for
    std::string remote_;      // "address:port" of the server once connected
    int lastOsError_ = 0;
    TelnetCodec codec_;
    std::uint8_t raw_[1024];  // bytes as they came from the server
    std::uint8_t data_[4096]; // serial bytes decoded and not yet read
    std::size_t dataHead_ = 0, dataTail_ = 0;
    std::uint8_t out_[2 * 512]; // serial bytes encoded for the server
    std::uint64_t bytesSent_ = 0, bytesReceived_ = 0;
};

template <class In4, class In6, class AddrInfo>
NetworkSerialPort::Lookup NetworkSerialPort::lookUpAddresses(const NetworkEndpoint& endpoint, const AddrInfo& hints,
                                                             int inet6) {
    AddrInfo* list = nullptr;
    Lookup lookup;
    lookup.error = getaddrinfo(endpoint.host.c_str(), std::to_string(endpoint.port).c_str(), &hints, &list);
    if (lookup.error != 0) return lookup;
    for (const AddrInfo* a = list; a != nullptr; a = a->ai_next) {
        Address& address = lookup.addresses.emplace_back();
        address.length = std::uint32_t(std::min<std::size_t>(a->ai_addrlen, sizeof address.storage));
        std::memcpy(address.storage, a->ai_addr, address.length);
        char host[64] = "?";
        if (a->ai_family == inet6)
            inet_ntop(inet6, &reinterpret_cast<const In6*>(a->ai_addr)->sin6_addr, host, sizeof host);
        else
            inet_ntop(a->ai_family, &reinterpret_cast<const In4*>(a->ai_addr)->sin_addr, host, sizeof host);
        address.host = host;
    }
    freeaddrinfo(list);
    return lookup;
}
