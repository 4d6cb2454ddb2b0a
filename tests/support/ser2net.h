#pragma once
// ser2net on 127.0.0.1 in front of one device, for as long as the object
// lives: Telnet with RFC 2217, or with raw set its plain tcp accepter (bytes
// in, bytes out). POSIX only.

#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/process.h"

// Where ser2net is installed; nullptr when it is not.
const char* ser2netPath();

// A TCP port on 127.0.0.1 that nothing listens on now. With listen set, the
// socket stays open and listening (it accepts into its backlog, and says nothing).
struct LocalSocket {
    int fd = -1;
    std::uint16_t port = 0;
    explicit LocalSocket(bool listen);
    ~LocalSocket();
    LocalSocket(const LocalSocket&) = delete;
    LocalSocket& operator=(const LocalSocket&) = delete;
};

// Whether something on 127.0.0.1 accepts a connection on port now.
bool acceptsConnections(std::uint16_t port);

class Ser2net {
public:
    // Serves device at 9600 bit/s; running() says whether it came up.
    explicit Ser2net(const std::string& device, bool raw = false);
    ~Ser2net();

    bool running() const { return process_ != nullptr; }
    // Ends the server at once, as a crash or a pulled cable would.
    void kill();
    // Starts it again on the same port after kill; false when it could not be started.
    bool restart();
    std::string url() const { return (raw_ ? "tcp://127.0.0.1:" : "rfc2217://127.0.0.1:") + std::to_string(port); }

    std::uint16_t port = 0;

private:
    bool raw_;
    std::string config_;
    std::unique_ptr<Process> process_;
};
