#include <winsock2.h>

#include "win32/win32_app.h"

#include "win32/config_dialog_win32.h"
#include "win32/dialog_template_win32.h"
#include "window/dialog_templates.h"

namespace {

// Nothing opens a socket; the window has always started them.
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

} // namespace

Win32Startup systemStartup() { return {&startSockets, &stopSockets, &MessageBoxW}; }

int runVentora(SerialPort& port, const Win32Startup& startup) {
    if (!startup.startSockets()) {
        startup.messageBox(nullptr, widen(loadString(kStringSocketsFailed)).c_str(), applicationCaption().c_str(),
                           MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    {
        Win32ConfigDialog dialog(port);
        dialog.runModal();
    }
    startup.stopSockets();
    return 0;
}
