#pragma once
// A running ventora-cli with its stdout and stderr collected, for the tests
// that run the tool as a user does. cli_process_posix.cpp and
// cli_process_win32.cpp start it the way each OS does.

#include <memory>
#include <string>
#include <vector>

struct CliRun {
    int status = -1;
    std::string out, err;
};

class CliProcess {
public:
    // Starts the tool built with the tests (VENTORA_CLI_PATH) with args.
    explicit CliProcess(const std::vector<std::string>& args);
    ~CliProcess();   // ends the tool if it is still running

    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Asks the tool to stop, as Ctrl+C does.
    void interrupt();
    // Ends the tool at once, as a crash or a power cut would.
    void kill();
    // Collects the output until the tool ends; its exit status, or
    // killedStatus() after kill().
    CliRun finish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

int killedStatus();

// The name a user gives the tool for a device path: the path itself on Linux,
// COMn for \\.\COMn on Windows.
std::string portName(const std::string& devicePath);

// The device the tool reports for that name.
std::string reportedDevice(const std::string& port);

// How a device path that `ports` lists for COMn begins.
std::string listedDevicePrefix(const std::string& com);
