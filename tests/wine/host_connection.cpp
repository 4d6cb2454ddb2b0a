#include "tests/wine/host_connection.h"

#include <cstdio>
#include <cstdlib>

#include <winsock2.h>
#include <ws2tcpip.h>

#include "serial/sockets.h"

namespace {

// Winsock is started once for the whole test program and never stopped.
bool startWinsock() {
    static const bool started = startSockets(2, 2);
    return started;
}

} // namespace

HostConnection::HostConnection() : socket_(~std::uintptr_t(0)) {
    const char* where = std::getenv("VENTORA_SIM_HOST");
    if (where == nullptr || !startWinsock()) {
        std::fprintf(stderr, "VENTORA_SIM_HOST is not set: these tests need ventora-sim-host (.ci/wine-tests.sh)\n");
        return;
    }
    const std::string text = where;
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(std::atoi(text.c_str() + colon + 1)));
    if (::inet_pton(AF_INET, text.substr(0, colon).c_str(), &address.sin_addr) != 1) return;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "cannot reach ventora-sim-host at %s\n", where);
        ::closesocket(s);
        return;
    }
    socket_ = std::uintptr_t(s);
}

HostConnection::~HostConnection() {
    if (ok()) ::closesocket(SOCKET(socket_));
}

bool HostConnection::ask(const std::string& command, std::string& reply) {
    reply.clear();
    if (!ok()) return false;
    const std::string line = command + "\n";
    for (std::size_t done = 0; done < line.size();) {
        const int n = ::send(SOCKET(socket_), line.data() + done, int(line.size() - done), 0);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
        char chunk[4096];
        const int n = ::recv(SOCKET(socket_), chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        pending_.append(chunk, std::size_t(n));
    }
    const std::string answer = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (answer.rfind("ok", 0) != 0) {
        reply = answer;
        std::fprintf(stderr, "ventora-sim-host refused \"%s\": %s\n", command.c_str(), answer.c_str());
        return false;
    }
    reply = answer.size() > 3 ? answer.substr(3) : std::string();
    return true;
}
