#pragma once
// The commands of ventora-cli over one port. Results go to out, as text or
// JSON lines; notices, failures and summaries go to err.

#include <cstdio>
#include <memory>

#include "cli/options.h"
#include "serial/local/serial_port.h"
#include "serial/port.h"

// The port the user named, of its kind; local is the same port when it is a
// serial device on this computer, null for a port on the network.
struct NamedPort {
    std::unique_ptr<Port> port;
    SerialPort* local = nullptr;
};
NamedPort portFor(const Options& options);

// Runs the parsed command and returns the exit status.
int runCommand(const Options& options, NamedPort& port, std::FILE* out, std::FILE* err);
