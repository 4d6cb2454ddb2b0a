#pragma once
// A bare pseudo-terminal for exercising SerialPort without a transmitter.

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

struct PtyPair {
    int master = -1;
    int slaveKeep = -1; // keeps the line's state alive between the port's opens, as a real device does
    std::string slavePath;

    PtyPair() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        slavePath = ::ptsname(master);
        termios tio{};
        ::tcgetattr(master, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
        slaveKeep = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~PtyPair() { hangUp(); }
    void hangUp() {
        if (master >= 0) ::close(master);
        if (slaveKeep >= 0) ::close(slaveKeep);
        master = slaveKeep = -1;
    }
    speed_t speed() const {
        termios tio{};
        ::tcgetattr(master, &tio);
        return ::cfgetospeed(&tio);
    }
};
