#include "win32/win32_app.h"

#include "serial/sockets.h"
#include "win32/config_dialog_win32.h"
#include "win32/dialog_template_win32.h"
#include "window/dialog_templates.h"

Win32Startup systemStartup() {
    return {[] { return startSockets(1, 1); }, &stopSockets, &MessageBoxW};
}

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
