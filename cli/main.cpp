// ventora-cli: configures and reads air-velocity transmitters from the
// command line, one port at a time.

#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"

int main(int argc, char** argv) {
    Options options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int parsed = parseOptions(args, options, std::cout, std::cerr);
    if (parsed >= 0) return parsed;
    // The kind of port is chosen once, here; the exchanges reach every kind
    // through the port interface.
    NamedPort port = portFor(options);
    return runCommand(options, port, stdout, stderr);
}
