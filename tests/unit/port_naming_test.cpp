#include <gtest/gtest.h>

#include "serial/local/port_naming.h"
#include "serial/local/serial_port.h"

namespace {

TEST(PortNaming, UsbFirstThenAcmAmaThenRealTtyS) {
    const std::vector<std::string> dev = {"ttyS1", "ttyUSB10", "ttyACM0", "null",   "ttyUSB2", "ttyAMA0",
                                          "ttyS0", "ttyUSBx",  "tty5",    "ttyS12", "ttyUSB0"};
    const auto ordered = orderSerialDevices(dev, [](const std::string& n) { return n != "ttyS1"; });
    const std::vector<std::string> expected = {"/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0",
                                               "/dev/ttyAMA0", "/dev/ttyS0",   "/dev/ttyS12"};
    EXPECT_EQ(ordered, expected);
}

TEST(PortNaming, PortNumbersCountFromOneAndZeroNamesNothing) {
    const std::vector<std::string> ordered = {"/dev/ttyUSB0", "/dev/ttyS0"};
    struct Case {
        std::uint8_t port;
        const char* path;
    };
    for (const Case c : {Case{0, ""}, Case{1, "/dev/ttyUSB0"}, Case{2, "/dev/ttyS0"}, Case{3, ""}, Case{32, ""}})
        EXPECT_EQ(pickPort(ordered, c.port), c.path) << "port " << int(c.port);
}

TEST(PortNaming, AliasIsTheFirstByIdNameResolvingToTheDevice) {
    const DeviceAlias usb0b{"usb-Maker_B-if00-port0", "/dev/ttyUSB0"};
    const DeviceAlias usb0a{"usb-Maker_A-if00-port0", "/dev/ttyUSB0"};
    const DeviceAlias usb1{"usb-Maker_C-if00-port0", "/dev/ttyUSB1"};
    const DeviceAlias dangling{"usb-Dangling", ""};
    struct Case {
        const char* name;
        std::string device;
        std::vector<DeviceAlias> aliases;
        std::string alias;
    };
    const Case cases[] = {
        {"none listed", "/dev/ttyUSB0", {}, ""},
        {"only other devices", "/dev/ttyUSB2", {usb0a, usb1}, ""},
        {"one of several", "/dev/ttyUSB1", {usb0a, usb1}, "usb-Maker_C-if00-port0"},
        {"two names, the later listed first", "/dev/ttyUSB0", {usb0b, usb1, usb0a}, "usb-Maker_A-if00-port0"},
        {"two names in order", "/dev/ttyUSB0", {usb0a, usb0b}, "usb-Maker_A-if00-port0"},
        {"no device", "", {dangling}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(aliasFor(c.device, c.aliases), c.alias) << c.name;
}

// How the command-line tool's port names reach the device: "COMn" exactly as
// the window's list spells it goes through the naming rule, anything else is a path.
TEST(PortNaming, ComNamesGoThroughTheNamingRuleAndOtherNamesAreDevicePaths) {
    const SerialPort port([](std::uint8_t n) { return n == 4 ? std::string() : "/dev/pty" + std::to_string(n); });
    struct Case {
        const char* name;
        const char* path;
    };
    for (const Case c :
         {Case{"COM1", "/dev/pty1"}, Case{"COM255", "/dev/pty255"}, Case{"COM4", ""}, Case{"COM0", "COM0"},
          Case{"COM07", "COM07"}, Case{"COM256", "COM256"}, Case{"COM3x", "COM3x"}, Case{"COM-3", "COM-3"},
          Case{"com3", "com3"}, Case{"COM", "COM"}, Case{"/dev/ttyUSB0", "/dev/ttyUSB0"}})
        EXPECT_EQ(port.pathFor(c.name), c.path) << c.name;
}

} // namespace
