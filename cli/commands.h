#pragma once
// The commands of ventora-cli over one serial port. Results go to out, as
// text or JSON lines; notices, failures and summaries go to err.

#include <cstdio>

#include "cli/options.h"
#include "serial/port.h"

// Runs the parsed command and returns the exit status.
int runCommand(const Options& options, Port& port, std::FILE* out, std::FILE* err);
