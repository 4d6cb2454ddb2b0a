#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "serial/local/adapter_info.h"

namespace {

namespace fs = std::filesystem;

// A usb-serial port as sysfs nests it: device, interface, port.
constexpr const char* kUsbPort = "devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0";
constexpr const char* kUsbDevice = "devices/pci0/usb1/1-1/";

struct SysfsCase {
    const char* name;
    const char* tty;
    const char* deviceLink; // where class/tty/<tty>/device points, under the root; "" for none
    std::vector<std::pair<std::string, std::string>> files;
    AdapterInfo expected;
};

class AdapterInfoTest : public testing::TestWithParam<SysfsCase> {};

TEST_P(AdapterInfoTest, ReadsTheUsbDeviceAboveThePortAndTheDriversTimer) {
    const SysfsCase& c = GetParam();
    const fs::path root = fs::path(testing::TempDir()) / (std::string("sysfs-") + c.name);
    fs::remove_all(root);
    fs::create_directories(root / "class/tty" / c.tty);
    for (const auto& [path, content] : c.files) {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path) << content << "\n";
    }
    if (*c.deviceLink) {
        fs::create_directories(root / c.deviceLink);
        fs::create_directory_symlink(fs::path("../../..") / c.deviceLink, root / "class/tty" / c.tty / "device");
    }
    const AdapterInfo info = adapterInfoIn(root.string(), c.tty);
    EXPECT_EQ(info.usb, c.expected.usb);
    EXPECT_EQ(info.vendorId, c.expected.vendorId);
    EXPECT_EQ(info.productId, c.expected.productId);
    EXPECT_EQ(info.product, c.expected.product);
    EXPECT_EQ(info.serial, c.expected.serial);
    EXPECT_EQ(info.latencyTimerMs, c.expected.latencyTimerMs);
}

std::vector<std::pair<std::string, std::string>> ftdi(const char* timer) {
    const std::string device = kUsbDevice;
    return {{device + "idVendor", "0403"},
            {device + "idProduct", "6001"},
            {device + "product", "FT232R USB UART"},
            {device + "serial", "A50285BI"},
            {device + "1-1:1.0/bInterfaceNumber", "00"},
            {std::string(kUsbPort) + "/latency_timer", timer}};
}

INSTANTIATE_TEST_SUITE_P(
    Sysfs, AdapterInfoTest,
    testing::Values(
        SysfsCase{"ftdi16", "ttyUSB0", kUsbPort, ftdi("16"), {true, "0403", "6001", "FT232R USB UART", "A50285BI", 16}},
        SysfsCase{"ftdi1", "ttyUSB0", kUsbPort, ftdi("1"), {true, "0403", "6001", "FT232R USB UART", "A50285BI", 1}},
        SysfsCase{
            "uart", "ttyS0", "devices/platform/serial8250", {{"devices/platform/serial8250/driver_override", ""}}, {}},
        SysfsCase{"pty", "pts0", "", {}, {}},
        SysfsCase{"ch340",
                  "ttyUSB0",
                  kUsbPort,
                  {{std::string(kUsbDevice) + "idVendor", "1a86"},
                   {std::string(kUsbDevice) + "idProduct", "7523"},
                   {std::string(kUsbDevice) + "product", "USB Serial"}},
                  {true, "1a86", "7523", "USB Serial", "", -1}}),
    [](const testing::TestParamInfo<SysfsCase>& info) { return std::string(info.param.name); });

} // namespace
