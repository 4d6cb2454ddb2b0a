#pragma once
// The benchmark's sections, in the order main runs them. Each adds its rows
// to the table (bench_support.h).

#include <chrono>
#include <cstdint>

// The window's figures (window_figures.cpp).
void releaseDelay(int iterations);
// Returns the median read time in ms, which peer() compares with mbpoll's.
double latencyAt(std::uint32_t baud, int iterations);
void peer(double oursAt9600, int iterations);
void detection(bool smoke);
void idle(std::chrono::milliseconds window);
void allocations(int iterations);
void startup(int runs);

// The command-line tool's figures: cli_figures.cpp where ventora-cli is
// built, otherwise cli_figures_skipped.cpp, which says so in one row.
void cliFigures(bool smoke);
// Of those, watch --mqtt's cost and latency alone.
void cliMqttFigures(bool smoke);
// A long watch of a transmitter that drops out every second (cli_long_watch.cpp).
void cliLongWatch(bool smoke);
// A line watched as a service (cli_service_figures.cpp, or skipped as cliFigures is).
void cliServiceFigures(bool smoke);
