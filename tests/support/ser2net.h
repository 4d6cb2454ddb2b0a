#pragma once
// ser2net (Telnet with RFC 2217) on 127.0.0.1 in front of one device, for as
// long as the object lives. POSIX only.

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
    explicit Ser2net(const std::string& device);
    ~Ser2net();

    bool running() const { return process_ != nullptr; }
    // Ends the server at once, as a crash or a pulled cable would.
    void kill();
    std::string url() const { return "rfc2217://127.0.0.1:" + std::to_string(port); }

    std::uint16_t port = 0;

private:
    std::string config_;
    std::unique_ptr<Process> process_;
};
