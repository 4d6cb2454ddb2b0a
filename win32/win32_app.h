#pragma once
// The program's run: Windows Sockets first, then the main dialog until it
// closes. If the sockets do not start, the one failure box instead.

#include <windows.h>

#include "serial/local/serial_port.h"

struct Win32Startup {
    bool (*startSockets)(); // false when Windows Sockets did not start
    void (*stopSockets)();
    int(WINAPI* messageBox)(HWND, LPCWSTR, LPCWSTR, UINT);
};

// serial/sockets.h's start at version 1.1 and its stop, and MessageBoxW.
Win32Startup systemStartup();

// The port must outlive the run. Returns the program's exit status: 0.
int runVentora(SerialPort& port, const Win32Startup& startup = systemStartup());
