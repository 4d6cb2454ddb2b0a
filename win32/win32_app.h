#pragma once
// The program's run: Windows Sockets first, then the main dialog until it
// closes. If the sockets do not start, the one failure box instead.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "serial/local/serial_port.h"
#include "window/texts.h"

struct Win32Startup {
    bool (*startSockets)(); // false when Windows Sockets did not start
    void (*stopSockets)();
    int(WINAPI* messageBox)(HWND, LPCWSTR, LPCWSTR, UINT);
};

// serial/sockets.h's start at version 1.1 and its stop, and MessageBoxW.
Win32Startup systemStartup();

// The arguments of the process's command line, without the program, UTF-8.
std::vector<std::string> commandLineArgs();

// The window's language at start: the user's interface language
// (GetUserDefaultUILanguage), unless args' --lang overrides it. Nullopt after
// a bad --lang, which it has then told the user in a box.
std::optional<Language> startupLanguage(const std::vector<std::string>& args,
                                        const Win32Startup& startup = systemStartup());

// The port must outlive the run. Returns the program's exit status: 0.
int runVentora(SerialPort& port, const Win32Startup& startup = systemStartup(), Language language = Language::Chinese);
