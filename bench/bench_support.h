#pragma once
// What every part of the benchmark uses: timing, the table of figures,
// percentiles, heap-allocation counting, the software transmitter at the line
// rate and mbpoll's whole-process read.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/support/operations_rig.h"

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t);

// The value at percent p (0..100) of v, nearest rank; 0 when v is empty.
double percentile(std::vector<double> v, double p);

// printf's format with up to three numbers.
std::string fmt(const char* f, double a, double b = 0, double c = 0);

// Adds a row to the table and echoes it to standard error as it is measured.
// met: whether the goal was met; none when the figure has no goal.
void row(std::string figure, std::string measured, std::string goal, std::optional<bool> met);

// The table of every row so far, on standard output.
void printTable();

// Heap allocations made on the calling thread between the two calls.
void startCountingAllocations();
std::uint64_t stopCountingAllocations();

// A transmitter emitting at the line rate; ends the program when no
// pseudo-terminal can be made.
std::unique_ptr<sim::SimTransmitter> simAtLineRate(sim::Dialect dialect, std::uint32_t baud);

// The tool's side, attached as COM1 to a device path, its receive thread running.
using Tool = OperationsRig<DevicePort>;

// mbpoll's read of the four measurement registers at 9600 from device, as a
// whole process: its time in ms, -1 when mbpoll could not be started, -2
// when it failed.
double runMbpoll(const std::string& device);
