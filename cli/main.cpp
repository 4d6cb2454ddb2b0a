// ventora-cli: configures and reads air-velocity transmitters from the
// command line, one port at a time.

#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "serial/serial_port.h"

int main(int argc, char** argv) {
    Options options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int parsed = parseOptions(args, options, std::cout, std::cerr);
    if (parsed >= 0) return parsed;
    SerialPort port;
    return runCommand(options, port, stdout, stderr);
}
