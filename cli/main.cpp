// ventora-cli: configures and reads air-velocity transmitters from the
// command line, one port at a time.

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/service.h"

int main(int argc, char** argv) {
    Options options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::ostringstream complaint;
    const int parsed = parseOptions(args, options, std::cout, complaint);
    // In the journal a refused configuration is an error, like any other.
    std::istringstream lines(complaint.str());
    for (std::string line; std::getline(lines, line);) std::cerr << (stderrIsJournal() ? "<3>" : "") << line << "\n";
    if (parsed >= 0) return parsed;
    // The kind of port is chosen once, here; the exchanges reach every kind
    // through the port interface.
    NamedPort port = portFor(options);
    return runCommand(options, port, stdout, stderr);
}
