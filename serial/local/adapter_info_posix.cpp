// The adapter behind a serial device, as Linux's sysfs describes it.

#include "serial/local/adapter_info.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A sysfs attribute's value without its line end; "" when absent.
std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string value;
    std::getline(in, value);
    return value;
}

// The device path's own name under /dev, once links (by-id names) are followed.
std::string ttyNameOf(const std::string& devicePath) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(devicePath, ec);
    return (ec ? fs::path(devicePath) : resolved).filename().string();
}

} // namespace

AdapterInfo adapterInfoIn(const std::string& sysRoot, const std::string& ttyName) {
    AdapterInfo info;
    std::error_code ec;
    const fs::path root = fs::canonical(sysRoot, ec);
    if (ec || ttyName.empty()) return info;
    // A pty or a virtual console has no device behind it.
    const fs::path port = fs::canonical(root / "class" / "tty" / ttyName / "device", ec);
    if (ec) return info;
    if (std::ifstream timer(port / "latency_timer"); !(timer >> info.latencyTimerMs)) info.latencyTimerMs = -1;
    // The USB device is the nearest ancestor with vendor and product ids: a
    // usb-serial port sits below the device's interface, a CDC-ACM tty on it.
    const std::string inside = root.string() + "/";
    for (fs::path dir = port; dir.string().rfind(inside, 0) == 0; dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec) || !fs::exists(dir / "idProduct", ec)) continue;
        info.usb = true;
        info.vendorId = attribute(dir / "idVendor");
        info.productId = attribute(dir / "idProduct");
        info.product = attribute(dir / "product");
        info.serial = attribute(dir / "serial");
        break;
    }
    return info;
}

AdapterInfo adapterInfo(const std::string& devicePath) { return adapterInfoIn("/sys", ttyNameOf(devicePath)); }

std::string latencyTimerHowTo(const std::string& devicePath) {
    return "with: echo 1 | sudo tee /sys/class/tty/" + ttyNameOf(devicePath) + "/device/latency_timer";
}
