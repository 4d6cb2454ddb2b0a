#pragma once
// What every command of ventora-cli runs over: the parsed options, the line
// and the transmitter on it, and the report of what happened.

#include "cli/device.h"
#include "cli/link.h"
#include "cli/options.h"
#include "cli/report.h"

struct Session {
    const Options& options;
    Link& link;
    Device& device;
    Report report;

    // Finds the transmitter, or takes it as the options describe it
    // (--baud with --dialect skip detection; without -a, one query learns the address).
    Status establish(DeviceIdentity& identity) const;
};
