// Ventora-demo: the configuration window with a software transmitter on a
// pseudo-terminal as COM1; the other ports name no device. With --echo the
// transmitter sits behind an adapter that hands every request back.

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <string>
#include <string_view>

#include "app/config_app.h"
#include "app/platform.h"
#include "serial/local/serial_port.h"
#include "sim/sim_transmitter.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> ownFlags{"--echo"};
    Language language{};
    if (const int status = readStartup("Ventora-demo", argc, argv, ownFlags, false, language); status >= 0)
        return status;
    if (!platformHasDisplay("Ventora-demo")) return 1;

    sim::Config config;
    config.dialect = sim::Dialect::Fd;
    config.address = 1;
    config.baud = 9600;
    config.velocityTenths = 123; // 12.3 m/s
    config.area = 300;           // cm2
    config.volume = 1328.4f;     // 12.3 m/s x 0.03 m2 x 3600 s/h, m3/h
    config.lineRate = true;
    config.echo = std::find(argv + 1, argv + argc, std::string_view("--echo")) != argv + argc;
    sim::SimTransmitter transmitter(config);
    if (!transmitter.start()) {
        std::fprintf(stderr, "Ventora-demo: could not open a pseudo-terminal for the transmitter.\n");
        return 1;
    }
    const std::string com1 = transmitter.slavePath();

    SerialPort port([com1](std::uint8_t portNumber) { return portNumber == 1 ? com1 : std::string(); });
    QApplication app(argc, argv);
    if (const int status = readStartup("Ventora-demo", argc, argv, ownFlags, true, language); status >= 0)
        return status;
    ConfigApp configApp(port, &platformStartup, language);
    configApp.initInstance();
    return 0;
}
