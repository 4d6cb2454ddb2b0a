#pragma once
// The command line of ventora-cli, parsed and range-checked before anything
// is sent.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/device.h"

// Long enough for a transmitter that takes 200 ms to start answering, short
// enough that a whole detection round with nothing attached (four attempts)
// stays under one second.
inline constexpr int kDefaultTimeoutMs = 220;

enum class Command : std::uint8_t { Ports, Detect, Read, Watch, Get, Set, Commission };
enum class Field : std::uint8_t { Address, Baud, Area };

struct Options {
    std::string port = "COM1";
    std::optional<std::int32_t> baud;
    std::optional<Dialect> dialect;
    std::optional<std::uint8_t> address;
    int timeoutMs = kDefaultTimeoutMs;
    bool json = false;
    bool verbose = false;

    Command command = Command::Detect;

    // watch
    int intervalMs = 1000;
    std::optional<unsigned> count;
    std::string csvPath;

    // get, set
    Field field = Field::Address;
    std::uint32_t value = 0;

    // commission
    std::uint8_t firstAddress = 0;
    std::optional<std::int32_t> newBaud;
    std::optional<std::uint16_t> newArea;
    unsigned transmitters = 1;
    std::string logPath;
};

// Parses argv into options. Returns -1 when the command should run; otherwise
// the exit status, with --help or --version text written to out (0), or the
// complaint written to err (2).
int parseOptions(const std::vector<std::string>& args, Options& options, std::ostream& out, std::ostream& err);
