#include <systemd/sd-daemon.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>

#include "cli/service.h"

void notifyService(const std::string& assignments) { sd_notify(0, assignments.c_str()); }

std::chrono::milliseconds watchdogPingPeriod() {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(usec / 2000);
}

bool stderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    struct stat st {};
    if (stream == nullptr || std::sscanf(stream, "%llu:%llu", &device, &inode) != 2 || ::fstat(2, &st) != 0)
        return false;
    // A child that inherited the variable may write to a pipe or file instead.
    return st.st_dev == device && st.st_ino == inode;
}
