#include "serial/local/port_naming.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <utility>

namespace {

// "ttyUSB12" with prefix "ttyUSB" gives 12; -1 when the rest is not a plain number.
long suffixNumber(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return -1;
    const std::string_view digits = name.substr(prefix.size());
    long value = -1;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) return -1;
    return value;
}

} // namespace

std::vector<std::string> orderSerialDevices(const std::vector<std::string>& devEntries,
                                            const std::function<bool(const std::string&)>& hasHardware) {
    static constexpr std::array<std::string_view, 4> kGroups{"ttyUSB", "ttyACM", "ttyAMA", "ttyS"};
    std::vector<std::string> ordered;
    for (const std::string_view prefix : kGroups) {
        std::vector<std::pair<long, std::string>> group;
        for (const std::string& name : devEntries) {
            const long n = suffixNumber(name, prefix);
            if (n < 0) continue;
            if (prefix == "ttyS" && !(hasHardware && hasHardware(name))) continue;
            group.emplace_back(n, name);
        }
        std::sort(group.begin(), group.end());
        for (auto& [n, name] : group) ordered.push_back("/dev/" + name);
    }
    return ordered;
}

std::string pickPort(const std::vector<std::string>& ordered, std::uint8_t portNumber) {
    if (portNumber == 0 || portNumber > ordered.size()) return {};
    return ordered[portNumber - 1];
}

std::string aliasFor(const std::string& devicePath, const std::vector<DeviceAlias>& aliases) {
    const DeviceAlias* best = nullptr;
    for (const DeviceAlias& alias : aliases) {
        if (alias.target != devicePath || devicePath.empty()) continue;
        if (best == nullptr || alias.name < best->name) best = &alias;
    }
    return best != nullptr ? best->name : std::string();
}

std::uint8_t comPortNumber(const std::string& name) {
    const long n = suffixNumber(name, "COM");
    return n > 0 && n <= 255 && name[3] != '0' ? std::uint8_t(n) : 0;
}
