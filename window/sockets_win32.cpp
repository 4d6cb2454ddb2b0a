#include "window/sockets.h"

#include <winsock2.h>

bool startSockets() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        return false;
    }
    return true;
}

void stopSockets() { WSACleanup(); }
