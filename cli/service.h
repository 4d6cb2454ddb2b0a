#pragma once
// What a long-running command tells the service manager that started it
// (systemd's notify protocol), and how its standard error reaches the
// journal. service_systemd.cpp speaks it through libsystemd;
// service_absent.cpp stands in where there is none (Windows).

#include <chrono>
#include <string>

// Sends "NAME=value" lines (READY=1, WATCHDOG=1, STATUS=..., STOPPING=1) in
// one message. Nothing happens when no manager listens (no NOTIFY_SOCKET).
void notifyService(const std::string& assignments);

// How often the manager's watchdog must hear from us, with a margin: half its
// period. Zero when no watchdog is set.
std::chrono::milliseconds watchdogPingPeriod();

// Whether standard error is the journal's stream (JOURNAL_STREAM names it),
// which reads a "<N>" priority at the start of each line.
bool stderrIsJournal();
