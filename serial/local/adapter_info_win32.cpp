// The adapter behind a serial device, as far as Windows tells: the latency
// timer that FTDI's driver keeps in the registry.

#include "serial/local/adapter_info.h"

#include <windows.h>

namespace {

// FTDIBUS\<ids and serial>\<instance>\Device Parameters holds PortName and LatencyTimer.
constexpr const char* kFtdiBus = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

std::string portNameOf(const std::string& devicePath) {
    return devicePath.rfind("\\\\.\\", 0) == 0 ? devicePath.substr(4) : devicePath;
}

// The name of key's index-th subkey; false when there is none.
bool subkey(HKEY key, DWORD index, std::string& name) {
    char buffer[256];
    DWORD size = sizeof buffer;
    if (::RegEnumKeyExA(key, index, buffer, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
    name.assign(buffer, size);
    return true;
}

// The latency timer under bus\parameters when that device is port; -1 otherwise.
int timerOf(HKEY bus, const std::string& parameters, const std::string& port) {
    char name[64] = {};
    DWORD size = sizeof name;
    if (::RegGetValueA(bus, parameters.c_str(), "PortName", RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS ||
        ::lstrcmpiA(name, port.c_str()) != 0)
        return -1;
    DWORD timer = 0;
    size = sizeof timer;
    if (::RegGetValueA(bus, parameters.c_str(), "LatencyTimer", RRF_RT_REG_DWORD, nullptr, &timer, &size) !=
        ERROR_SUCCESS)
        return -1;
    return int(timer);
}

} // namespace

AdapterInfo adapterInfo(const std::string& devicePath) {
    AdapterInfo info;
    const std::string port = portNameOf(devicePath);
    HKEY bus = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFtdiBus, 0, KEY_READ, &bus) != ERROR_SUCCESS) return info;
    std::string device;
    for (DWORD d = 0; info.latencyTimerMs < 0 && subkey(bus, d, device); ++d) {
        HKEY instances = nullptr;
        if (::RegOpenKeyExA(bus, device.c_str(), 0, KEY_READ, &instances) != ERROR_SUCCESS) continue;
        std::string instance;
        for (DWORD i = 0; info.latencyTimerMs < 0 && subkey(instances, i, instance); ++i)
            info.latencyTimerMs = timerOf(bus, device + "\\" + instance + "\\Device Parameters", port);
        ::RegCloseKey(instances);
    }
    ::RegCloseKey(bus);
    return info;
}

std::string latencyTimerHowTo(const std::string&) {
    return "in Device Manager: the port's Properties, Port Settings, Advanced, Latency Timer (msec)";
}
