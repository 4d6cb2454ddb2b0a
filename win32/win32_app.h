#pragma once
// The program's run: Windows Sockets first, then the main dialog until it
// closes. If the sockets do not start, the one failure box instead.

#include <windows.h>

#include <string>
#include <vector>

#include "serial/local/serial_port.h"
#include "window/texts.h"

struct Win32Startup {
    bool (*startSockets)(); // false when Windows Sockets did not start
    void (*stopSockets)();
    int(WINAPI* messageBox)(HWND, LPCWSTR, LPCWSTR, UINT);
    // Writes to the standard output, or to the console the program was started
    // from; false when there is neither (started from Explorer).
    bool (*writeOut)(const std::string& text);
};

// serial/sockets.h's start at version 1.1 and its stop, MessageBoxW, and
// standardOut.
Win32Startup systemStartup();

// The arguments of the process's command line, without the program, UTF-8.
std::vector<std::string> commandLineArgs();

// What the command line asks for, before any window. -1, with language set
// (the user's interface language, GetUserDefaultUILanguage, unless --lang
// says otherwise), when the window opens. Otherwise the exit status: 0 once
// the usage or the version has been written out (in a box when there is
// nowhere to write), 2 once a bad option has been refused in a box.
int readStartup(const std::vector<std::string>& args, Language& language,
                const Win32Startup& startup = systemStartup());

// The standard output, or else the console of the parent process.
bool standardOut(const std::string& text);

// The port must outlive the run. Returns the program's exit status: 0.
int runVentora(SerialPort& port, const Win32Startup& startup = systemStartup(), Language language = Language::Chinese);
