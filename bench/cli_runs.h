#pragma once
// ventora-cli as a user runs it, for the command-line tool's figures.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct ChildRun {
    double ms = -1;
    int status = -1;
    double cpuMs = 0;
};

// Runs ventora-cli with args, output to stdoutTo (stderr to /dev/null);
// stopAfter interrupts it then.
ChildRun runCli(const std::vector<std::string>& args, std::optional<std::chrono::milliseconds> stopAfter = {},
                const char* stdoutTo = "/dev/null");

// Reads through ser2net's raw accepter and a Modbus TCP gateway, against the
// pty and mbpoll (cli_device_server_figures.cpp).
void cliDeviceServers(bool smoke);
