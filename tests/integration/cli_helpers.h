#pragma once
// What the tests that run ventora-cli share: running the tool built with the
// tests (VENTORA_CLI_PATH), a transmitter with known values, how ports are
// named on each OS, and reading back what the tool wrote.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/support/process.h"

// The tool, its output collected.
class CliProcess : public Process {
public:
    explicit CliProcess(const std::vector<std::string>& args) : Process({.program = VENTORA_CLI_PATH, .args = args}) {}
};

inline ProcessRun cli(const std::vector<std::string>& args) { return CliProcess(args).finish(); }

// Address 3 in the FD dialect, 9 in the Modbus one; 12.3 m/s, 1328.4 m3/h,
// 300 cm2, at the line rate.
inline sim::Config transmitter(sim::Dialect dialect, std::uint32_t baud = 9600) {
    sim::Config c;
    c.dialect = dialect;
    c.address = dialect == sim::Dialect::Fd ? 3 : 9;
    c.baud = baud;
    c.velocityTenths = 123;
    c.volume = 1328.4f;
    c.area = 300;
    c.lineRate = true;
    return c;
}

#ifdef _WIN32
// The name a user gives the tool for a device path: COMn for \\.\COMn.
inline std::string portName(const std::string& devicePath) {
    return devicePath.rfind("\\\\.\\", 0) == 0 ? devicePath.substr(4) : devicePath;
}
// The device the tool reports for that name.
inline std::string reportedDevice(const std::string& port) { return "\\\\.\\" + port; }
// How a device path that `ports` lists for COMn begins.
inline std::string listedDevicePrefix(const std::string& com) { return "\\\\.\\" + com; }
#else
inline std::string portName(const std::string& devicePath) { return devicePath; }
inline std::string reportedDevice(const std::string& port) { return port; }
inline std::string listedDevicePrefix(const std::string&) { return "/dev/"; }
#endif

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
