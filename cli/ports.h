#pragma once
// What `ports` says of the adapter behind a device, beyond its names.

#include <string>

#include "cli/output.h"

// Adds the adapter's USB identity and latency timer to json ("usb",
// "latency_timer_ms", null where unknown) and to text (a tab, then the
// details, when there are any). A timer above 1 ms is first lowered the way
// opening the port does; the hint for one that stays high is returned, "" when
// there is none.
std::string describeAdapter(const std::string& devicePath, Json& json, std::string& text);
