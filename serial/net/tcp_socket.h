#pragma once
// The one socket layer under every port on the network: resolving a server's
// name and connecting to it within a deadline, bounded sends and receives,
// and the cause of a failure in the terms of OpenFailure. The ports over it
// add only their own framing.
//
// Used by one thread at a time. No OS header appears here:
// tcp_socket_posix.cpp and tcp_socket_win32.cpp each define the Native record
// and the backend steps (on Windows, the one start of Windows Sockets too).

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serial/net/port_url.h"
#include "serial/port.h"

class TcpSocket {
public:
    using Clock = std::chrono::steady_clock;
    enum class Io : std::uint8_t { Done, TimedOut, Lost };

    TcpSocket();
    ~TcpSocket(); // closes
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves endpoint and connects by deadline. budget is the whole open's
    // time, for the texts. False with failure() and failureDetail() saying why.
    bool connect(const NetworkEndpoint& endpoint, Clock::time_point deadline, std::chrono::milliseconds budget);
    OpenFailure failure() const { return failure_; }
    const std::string& failureDetail() const { return failureDetail_; }
    // "address:port" of the server once an address was tried, "" before.
    const std::string& remote() const { return remote_; }

    // Sends all of bytes[0..count), waiting until deadline at most.
    Io send(const std::uint8_t* bytes, std::size_t count, Clock::time_point deadline);
    // Receives once, at most room bytes, waiting until deadline at most.
    Io receive(std::uint8_t* in, std::size_t room, std::size_t& got, Clock::time_point deadline);
    // The OS's words for why the connection was lost; "" for an orderly close by the server.
    std::string lossText() const;

    bool isOpen() const;
    void close();

    // TCP payload since construction, each way, in bytes.
    std::uint64_t bytesSent() const { return bytesSent_; }
    std::uint64_t bytesReceived() const { return bytesReceived_; }

    struct Native; // backend state

private:
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

    bool fail(OpenFailure cause, const std::string& detail);
    // The numeric lookup first; when the host is a name, the name service on a
    // helper thread, because getaddrinfo itself has no time limit.
    std::optional<Lookup> lookUp(const NetworkEndpoint& endpoint, Clock::time_point deadline);
    // One address: Done when connected, TimedOut at the deadline, Lost with
    // the OS's error code in error.
    Io connectTo(const Address& address, Clock::time_point deadline, int& error);
    // Sends out[0..count) or receives into in[0..count) (the other is null),
    // once, waiting until deadline at most. A lost connection leaves the OS's
    // error code in lastOsError_ (0 for an orderly close by the server).
    Io transfer(const std::uint8_t* out, std::uint8_t* in, std::size_t count, std::size_t& moved,
                Clock::time_point deadline);

    // getaddrinfo for endpoint with hints. Every OS spells the call and its
    // records alike: each backend passes its own addrinfo (as hints),
    // sockaddr_in, sockaddr_in6 and AF_INET6.
    template <class In4, class In6, class AddrInfo>
    static Lookup lookUpAddresses(const NetworkEndpoint& endpoint, const AddrInfo& hints, int inet6);

    // Backend steps (tcp_socket_posix.cpp, tcp_socket_win32.cpp).
    bool socketsStarted(); // records why not
    static Lookup resolve(const NetworkEndpoint& endpoint, bool numericOnly);
    // The backend's one translation of an OS error code into a cause.
    static OpenFailure causeOf(int osError);
    static bool wouldBlock(int osError);
    // Opens a non-blocking socket to address and starts connecting: 0 when
    // connected or (pending) still connecting, otherwise the OS's error code.
    int openSocket(const Address& address, bool& pending);
    // The outcome of a connect that was pending: 0, or the OS's error code.
    int socketError() const;
    // Waits until the socket can take (forWriting) or give bytes, or has
    // failed; false when the deadline came first.
    bool socketReady(bool forWriting, Clock::time_point deadline) const;
    // One send or receive without waiting: the bytes moved, 0 for an orderly
    // close by the server, negative with the OS's error code in error.
    long moveOnce(const std::uint8_t* out, std::uint8_t* in, std::size_t count, int& error);

    std::unique_ptr<Native> native_;
    OpenFailure failure_ = OpenFailure::None;
    std::string failureDetail_;
    std::string remote_;
    int lastOsError_ = 0;
    std::uint64_t bytesSent_ = 0, bytesReceived_ = 0;
};

template <class In4, class In6, class AddrInfo>
TcpSocket::Lookup TcpSocket::lookUpAddresses(const NetworkEndpoint& endpoint, const AddrInfo& hints, int inet6) {
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
