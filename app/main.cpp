// Ventora: the configuration window on the computer's real serial ports.

#include <QApplication>
#include <optional>

#include "app/config_app.h"
#include "app/platform.h"
#include "serial/local/serial_port.h"

int main(int argc, char** argv) {
    const std::optional<Language> language = startupLanguage("Ventora", argc, argv);
    if (!language) return 2;
    if (!platformHasDisplay("Ventora")) return 1;
    // Outlives the window; closes the device, if one is open, at the end.
    SerialPort port;
    QApplication app(argc, argv);
    ConfigApp configApp(port, &platformStartup, *language);
    configApp.initInstance();
    return 0;
}
