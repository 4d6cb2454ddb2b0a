// ventora-cli: configures and reads air-velocity transmitters from the
// command line, one port at a time.

#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/service.h"
#include "serial/local/serial_port.h"
#include "serial/net/network_port.h"

int main(int argc, char** argv) {
    Options options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::ostringstream complaint;
    const int parsed = parseOptions(args, options, std::cout, complaint);
    // In the journal a refused configuration is an error, like any other.
    std::istringstream lines(complaint.str());
    for (std::string line; std::getline(lines, line);) std::cerr << (stderrIsJournal() ? "<3>" : "") << line << "\n";
    if (parsed >= 0) return parsed;
    // The kind of port is chosen once, here; the exchanges reach either
    // through the port interface.
    std::unique_ptr<Port> port;
    if (isNetworkPortName(options.port))
        port = std::make_unique<NetworkSerialPort>(
            std::max(std::chrono::milliseconds(kNetworkOpenTimeoutMs), std::chrono::milliseconds(options.timeoutMs)));
    else
        port = std::make_unique<SerialPort>();
    return runCommand(options, *port, stdout, stderr);
}
