#pragma once
// What the tests that run ventora-cli share: running it to its end, a
// transmitter with known values, and reading back what it wrote.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/integration/cli_process.h"

inline CliRun cli(const std::vector<std::string>& args) { return CliProcess(args).finish(); }

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
