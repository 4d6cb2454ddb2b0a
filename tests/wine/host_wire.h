#pragma once
// The text both ends of a ventora-sim-host session use for bytes and for a
// transmitter's configuration. Plain C++, shared by the Linux host and the
// Windows tests.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <string>
#include <vector>

#include "sim/sim_transmitter.h"

namespace host_wire {

inline std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

inline std::vector<std::uint8_t> unhex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(std::uint8_t(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

// %.9g keeps every bit of a float through the text.
inline std::string configText(const sim::Config& c) {
    char text[160];
    std::snprintf(text, sizeof text, "%d %u %u %u %u %u %u %.9g %u %d %u %d", c.dialect == sim::Dialect::Modbus ? 1 : 0,
                  unsigned(c.address), unsigned(c.baud), unsigned(c.parityCode), unsigned(c.stopCheckA),
                  unsigned(c.stopCheckB), unsigned(c.velocityTenths), double(c.volume), unsigned(c.area),
                  c.lineRate ? 1 : 0, c.turnaroundMs, c.echo ? 1 : 0);
    return text;
}

inline bool parseConfig(std::istream& in, sim::Config& c) {
    int dialect = 0, lineRate = 0, echo = 0;
    unsigned address = 0, parity = 0, stopA = 0, stopB = 0, velocity = 0, area = 0;
    double volume = 0;
    in >> dialect >> address >> c.baud >> parity >> stopA >> stopB >> velocity >> volume >> area >> lineRate >>
        c.turnaroundMs >> echo;
    c.dialect = dialect == 1 ? sim::Dialect::Modbus : sim::Dialect::Fd;
    c.address = std::uint8_t(address);
    c.parityCode = std::uint8_t(parity);
    c.stopCheckA = std::uint8_t(stopA);
    c.stopCheckB = std::uint8_t(stopB);
    c.velocityTenths = std::uint16_t(velocity);
    c.volume = float(volume);
    c.area = std::uint16_t(area);
    c.lineRate = lineRate != 0;
    c.echo = echo != 0;
    return !in.fail();
}

} // namespace host_wire
