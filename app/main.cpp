// Ventora: the configuration window on the computer's real serial ports.

#include <QApplication>

#include "app/config_app.h"
#include "app/platform.h"
#include "serial/local/serial_port.h"

int main(int argc, char** argv) {
    Language language{};
    if (const int status = readStartup("Ventora", argc, argv, {}, false, language); status >= 0) return status;
    if (!platformHasDisplay("Ventora")) return 1;
    // Outlives the window; closes the device, if one is open, at the end.
    SerialPort port;
    QApplication app(argc, argv);
    if (const int status = readStartup("Ventora", argc, argv, {}, true, language); status >= 0) return status;
    ConfigApp configApp(port, &platformStartup, language);
    configApp.initInstance();
    return 0;
}
