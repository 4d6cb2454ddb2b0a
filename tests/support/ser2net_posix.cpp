#include "tests/support/ser2net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "tests/support/wait_for.h"

namespace {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

} // namespace

bool acceptsConnections(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

const char* ser2netPath() {
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
        if (::access(path, X_OK) == 0) return path;
    return nullptr;
}

LocalSocket::LocalSocket(bool listen) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t size = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return;
    port = ntohs(a.sin_port);
    if (listen) ::listen(fd, 8);
}

LocalSocket::~LocalSocket() {
    if (fd >= 0) ::close(fd);
}

// The port is one the kernel just handed out and released: taken again by
// someone else only by a rare race, which a retry covers.
Ser2net::Ser2net(const std::string& device, bool raw) : raw_(raw) {
    static int serial = 0;
    config_ = "/tmp/ventora-ser2net-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".yaml";
    for (int attempt = 0; attempt < 5 && process_ == nullptr && ser2netPath() != nullptr; ++attempt) {
        port = LocalSocket(false).port;
        std::ofstream(config_) << "connection: &bus\n"
                               << "  accepter: " << (raw ? "" : "telnet(rfc2217),") << "tcp,127.0.0.1," << port << "\n"
                               << "  connector: serialdev," << device << ",9600n81,local\n";
        if (!restart()) break;
    }
    if (process_ == nullptr) port = 0;
}

bool Ser2net::restart() {
    kill();
    auto server = std::make_unique<Process>(
        Launch{.program = ser2netPath(), .args = {"-n", "-c", config_}, .outTo = "/dev/null", .errTo = "/dev/null"});
    if (!server->started()) return false;
    if (waitFor([&] { return acceptsConnections(port) || !server->running(); }, std::chrono::seconds(10)) &&
        server->running())
        process_ = std::move(server);
    return true;
}

Ser2net::~Ser2net() {
    kill();
    std::remove(config_.c_str());
}

void Ser2net::kill() { process_.reset(); }
