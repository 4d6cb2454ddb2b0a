#pragma once
// A test's session with ventora-sim-host, which serves transmitters and bare
// ptys on Linux to tests that run under Wine. The host's address comes from
// VENTORA_SIM_HOST ("127.0.0.1:PORT"), set by the script that starts it.

#include <cstdint>
#include <string>
#include <vector>

class HostConnection {
public:
    HostConnection();  // connects; ok() says whether it worked
    ~HostConnection(); // ends the session, which frees its port

    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;

    bool ok() const { return socket_ != ~std::uintptr_t(0); }

    // Sends one command line and returns the host's answer after "ok " ("" for
    // a bare "ok"); false, with the answer in reply, when the host refused it
    // or the connection failed.
    bool ask(const std::string& command, std::string& reply);
    bool ask(const std::string& command) {
        std::string ignored;
        return ask(command, ignored);
    }

private:
    std::uintptr_t socket_; // a SOCKET, kept out of this header
    std::string pending_;
};
