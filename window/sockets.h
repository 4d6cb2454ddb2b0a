#pragma once
// Windows Sockets 1.1, which the window starts before its dialog on Windows,
// as it always has, though nothing in it opens a socket. Built on Windows only.

// False when they did not start, or not at version 1.1.
bool startSockets();
void stopSockets();
