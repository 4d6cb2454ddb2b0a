// Ventora.exe: the configuration window as a native Windows dialog.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "serial/serial_port.h"
#include "win32/config_dialog_win32.h"
#include "win32/dialog_template_win32.h"
#include "window/dialog_templates.h"

namespace {

// Windows Sockets 1.1, as the window has always asked for; nothing opens a socket.
bool startSockets() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        return false;
    }
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Loads the common controls that the manifest names, for visual styles.
    InitCommonControls();
    if (!startSockets()) {
        MessageBoxW(nullptr, widen(loadString(kStringSocketsFailed)).c_str(), applicationCaption().c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    {
        // Outlives the window; closes the device, if one is open, at the end.
        static SerialPort port;
        Win32ConfigDialog dialog(port);
        dialog.runModal();
    }
    WSACleanup();
    return 0;
}
