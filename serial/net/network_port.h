#pragma once
// A serial port on a device server, reached over TCP with the Telnet
// COM-PORT option (RFC 2217) and named "rfc2217://HOST:PORT": ser2net, or a
// dedicated box. Line settings and purges travel as COM-PORT commands, and the
// server applies them to its serial device.
//
// It offers SerialPort's interface to callers without a receive thread: every
// member runs on the one thread that opens the port. Every network wait has a
// deadline; failures and a lost connection are reported through
// lastOpenFailure, in the causes of OpenFailure.
//
// No OS header appears here: network_port_posix.cpp and network_port_win32.cpp
// each define the Socket record and the socket steps.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/net/bounded_call.h"
#include "serial/local/serial_port.h"
#include "serial/net/telnet_codec.h"

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

class NetworkSerialPort final : public SerialPort {
public:
    // openTimeout bounds each open as a whole: name resolution, connecting,
    // the Telnet negotiation and the server's answers to the line settings.
    explicit NetworkSerialPort(std::chrono::milliseconds openTimeout);
    ~NetworkSerialPort() override;   // ends the session

    // name is "rfc2217://HOST:PORT". While a session with the same server is
    // up (see close), only the line settings and a purge are sent.
    int openPath(const std::string& name) override;
    // Port numbers name no network port: fails with NoSuchDevice.
    int open() override;

    // Ends the use of the port but keeps the TCP session: a device server
    // reopens its serial device for every new connection (ser2net drops DTR
    // and restores its default settings), and detection reopens at every rate
    // it tries. disconnect, or destruction, ends the session.
    bool close() override;
    void disconnect();

    // Sends the stored line settings and waits for the server's answers;
    // false when they do not come or differ (lastOpenFailure says which).
    bool configure() override;

    std::uint32_t read(std::uint8_t* buffer, std::uint32_t maxBytes) override;
    // 0 when the port is closed or the connection is gone (the loss is then
    // in lastOpenFailure as ConnectionLost).
    int write(const std::uint8_t* buffer, std::uint32_t count) override;
    // deviceGone when the connection is gone, as write.
    WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) override;

    // TCP payload since construction, each way, in bytes.
    std::uint64_t bytesSent() const { return bytesSent_; }
    std::uint64_t bytesReceived() const { return bytesReceived_; }

    struct Socket;   // backend state

private:
    using Clock = std::chrono::steady_clock;
    enum class Io : std::uint8_t { Done, TimedOut, Lost };

    bool startSession(const NetworkEndpoint& endpoint, Clock::time_point deadline);
    bool applySettings(Clock::time_point deadline);
    // Receives once, waiting until deadline at most, and decodes what came.
    Io pump(Clock::time_point deadline);
    Io send(const std::uint8_t* bytes, std::size_t count, Clock::time_point deadline);
    // Records how a wait during open ended badly; always false.
    bool openFailed(Io io, const char* waitingFor);
    void lose();
    std::string where() const;

    // Backend steps. connectSocket resolves and connects, recording the
    // cause of a failure; the I/O steps leave the OS's error code in
    // lastOsError_ (0 for an orderly close by the server).
    bool connectSocket(const NetworkEndpoint& endpoint, Clock::time_point deadline);
    void closeSocket();
    bool socketOpen() const;
    Io sendSome(const std::uint8_t* bytes, std::size_t count, std::size_t& sent, Clock::time_point deadline);
    Io receive(std::uint8_t* into, std::size_t room, std::size_t& got, Clock::time_point deadline);
    // The OS's words for an error code.
    static std::string osErrorText(int osError);
    // The backends' name lookup: resolve(true) asks for a numeric address
    // only; when isName says the host is not one, resolve(false) asks the name
    // service, on a helper thread, because getaddrinfo itself has no time
    // limit. Nullopt, with the failure recorded, when that found no answer by
    // the deadline.
    template <class Resolved, class Resolve, class IsName>
    std::optional<Resolved> lookUp(Resolve resolve, IsName isName, Clock::time_point deadline);

    std::chrono::milliseconds openTimeout_;
    std::unique_ptr<Socket> socket_;
    std::string sessionName_;      // the port name the session was opened for
    std::string remote_;           // "address:port" of the server once connected
    int lastOsError_ = 0;
    TelnetCodec codec_;
    std::uint8_t raw_[1024];       // bytes as they came from the server
    std::uint8_t data_[4096];      // serial bytes decoded and not yet read
    std::size_t dataHead_ = 0, dataTail_ = 0;
    std::uint8_t out_[2 * 512];    // serial bytes encoded for the server
    std::uint64_t bytesSent_ = 0, bytesReceived_ = 0;
};

template <class Resolved, class Resolve, class IsName>
std::optional<Resolved> NetworkSerialPort::lookUp(Resolve resolve, IsName isName, Clock::time_point deadline) {
    Resolved resolved = resolve(true);
    if (!isName(resolved)) return resolved;
    std::optional<Resolved> looked = callBefore<Resolved>(deadline, [resolve] { return resolve(false); });
    if (!looked)
        recordFailure(where(), OpenFailure::HostNotFound,
                      "the name service did not answer within " + std::to_string(openTimeout_.count()) + " ms");
    return looked;
}
