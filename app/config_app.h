#pragma once
// The application object: the start-up step, then the main dialog's modal run.

#include "app/platform.h"
#include "serial/local/serial_port.h"

class ConfigApp {
public:
    using StartupStep = bool (*)();

    // The port must outlive the application object. A QApplication must exist.
    // The window and the boxes start in the language.
    explicit ConfigApp(SerialPort& port, StartupStep startup = &platformStartup, Language language = Language::Chinese);

    // Runs start-up and the main dialog until it closes; if the start-up step
    // fails, shows the one failure box instead. Always false: the program
    // then ends.
    bool initInstance();

private:
    SerialPort& port_;
    StartupStep startup_;
    Language language_;
};
