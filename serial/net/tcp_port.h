#pragma once
// A serial line behind a transparent device server, named "tcp://HOST:PORT":
// the bytes written go to the line as they are, and what the line sends comes
// back as it is (raw TCP, "RTU over TCP"; ser2net's plain tcp accepter). The
// serial rate is the server's own: the line settings stored here reach no one.
//
// The base of every port on the network: it keeps the TCP session and its
// failures, and the kinds of server that speak more than bytes (RFC 2217,
// Modbus TCP) add their framing over it.
//
// Every member runs on the one thread that opens the port. Every network wait
// has a deadline; failures and a lost connection are reported through
// lastOpenFailure.

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/net/port_url.h"
#include "serial/net/tcp_socket.h"
#include "serial/port.h"

class TcpPort : public Port {
public:
    // openTimeout bounds each open as a whole: name resolution, connecting,
    // and what the kind of server says before the line can be used.
    explicit TcpPort(std::chrono::milliseconds openTimeout) : TcpPort(openTimeout, NetworkScheme::Tcp) {}

    // name is a URL of this port's scheme. While a session with the same
    // server is up (see close), only the line settings are sent again, if any.
    int openPath(const std::string& name) final;

    // Ends the use of the port but keeps the TCP session: a device server
    // reopens its serial device for every new connection, and detection
    // reopens at every rate it tries. disconnect, or destruction, ends it.
    bool close() final;
    void disconnect();

    // 0 when the port is closed or the connection is gone (the loss is then
    // in lastOpenFailure as ConnectionLost).
    int write(const std::uint8_t* buffer, std::uint32_t count) override;
    // deviceGone when the connection is gone, as write.
    WaitedRead readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) override;

    // TCP payload since construction, each way, in bytes.
    std::uint64_t bytesSent() const { return socket_.bytesSent(); }
    std::uint64_t bytesReceived() const { return socket_.bytesReceived(); }

protected:
    using Clock = TcpSocket::Clock;
    using Io = TcpSocket::Io;
    // About 1000 ms for a write, as for a local serial device.
    static constexpr std::chrono::milliseconds kWriteBudget{1000};

    TcpPort(std::chrono::milliseconds openTimeout, NetworkScheme scheme);

    // What the kind of server needs once connected, before the first use
    // (the Telnet negotiation); false with the failure recorded.
    virtual bool startSession(Clock::time_point /*deadline*/) { return true; }
    // What it needs at every open (line settings); false with the failure recorded.
    virtual bool applySettings(Clock::time_point /*deadline*/) { return true; }
    // The session's state to forget when it ends.
    virtual void sessionEnded() {}

    // Records how a wait during open ended badly; always false.
    bool openFailed(Io io, const char* waitingFor);
    // What the server said before it closed, when that may say why
    // (ser2net: "Port already in use"); printable text only.
    virtual std::string serverSaid() const { return {}; }

    // Records that the connection is gone, and why: the OS's words, or what
    // the server said before it closed. Ends the session.
    void lose();
    // Ends the session for a reason of the port's own: ConnectionLost, why.
    void drop(const std::string& why);
    // "address:port" of the server, or the host and port as named.
    std::string where() const;
    std::chrono::milliseconds openTimeout() const { return openTimeout_; }
    // Copies at most maxBytes of from[head..tail) to buffer and moves head on:
    // a read of bytes the port already holds. 0 when it holds none.
    static std::uint32_t takeHeld(std::uint8_t* buffer, std::uint32_t maxBytes, const std::uint8_t* from,
                                  std::size_t& head, std::size_t tail);
    bool inUse() const { return open_; }

    TcpSocket socket_;

private:
    std::chrono::milliseconds openTimeout_;
    NetworkScheme scheme_;
    bool open_ = false;       // in use between openPath and close
    std::string sessionName_; // the port name the session was opened for
};
