#pragma once
// Windows Sockets, which must be started before any socket call: by the window
// at version 1.1, as it always has though it opens no socket, and at 2.2 by
// whatever opens sockets. Built on Windows only.

#include <cstdint>

// Starts Windows Sockets at version major.minor. False when they did not
// start, or started at another version (they are stopped again then). Each
// start that succeeded is ended by one stopSockets.
bool startSockets(std::uint8_t major, std::uint8_t minor);
void stopSockets();
