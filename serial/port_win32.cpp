// The failure texts of ports on Windows.

#include "serial/port.h"

#include <windows.h>

const char* openFailureHint(OpenFailure) { return ""; }

std::string osErrorText(unsigned long osError) {
    char text[256] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     DWORD(osError), 0, text, sizeof text, nullptr);
    std::string detail(text, n);
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r' || detail.back() == ' '))
        detail.pop_back();
    return detail.empty() ? "error " + std::to_string(osError) : detail;
}
