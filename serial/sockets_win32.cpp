#include "serial/sockets.h"

#include <winsock2.h>

bool startSockets(std::uint8_t major, std::uint8_t minor) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(major, minor), &data) != 0) return false;
    if (data.wVersion != MAKEWORD(major, minor)) {
        ::WSACleanup();
        return false;
    }
    return true;
}

void stopSockets() { ::WSACleanup(); }
