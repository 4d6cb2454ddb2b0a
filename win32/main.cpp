// Ventora.exe: the configuration window as a native Windows dialog.

#include <windows.h>
#include <commctrl.h>

#include "serial/local/serial_port.h"
#include "win32/win32_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Loads the common controls that the manifest names, for visual styles.
    InitCommonControls();
    Language language{};
    if (const int status = readStartup(commandLineArgs(), language); status >= 0) return status;
    // Outlives the window; closes the device, if one is open, at the end.
    static SerialPort port;
    return runVentora(port, systemStartup(), language);
}
