#pragma once
// What the command-line tool needs of the OS beyond the serial port. The
// build picks one implementation: platform_posix.cpp or platform_win32.cpp.

#include <chrono>
#include <cstdio>

// From here on SIGINT and SIGTERM (Ctrl+C and Ctrl+Break on Windows) ask
// the tool to stop instead of ending it, so long runs can finish their
// summary and their log.
void installStopHandlers();

// Whether a stop has been asked for.
bool stopRequested();
// The exit status of a command cut short by the stop, as a shell reports a
// process the signal ended: 130 for SIGINT (Ctrl+C), 143 for SIGTERM
// (Ctrl+Break and closing the console on Windows).
int stopStatus();

// Sleeps up to duration, without using the processor, and wakes at once
// when a stop is asked for. True when a stop has been asked for.
bool waitForStop(std::chrono::milliseconds duration);

// Flushes file and has the OS write it to the disk. False when that failed.
bool syncFile(std::FILE* file);

// Whether file is a terminal a person is watching, rather than a pipe or a file.
bool isTerminal(std::FILE* file);
