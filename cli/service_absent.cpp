// Where there is no service manager to tell (Windows).

#include "cli/service.h"

void notifyService(const std::string&) {}
std::chrono::milliseconds watchdogPingPeriod() { return std::chrono::milliseconds(0); }
bool stderrIsJournal() { return false; }
