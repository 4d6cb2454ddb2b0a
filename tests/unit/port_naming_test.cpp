#include <gtest/gtest.h>

#include "serial/port_naming.h"

namespace {

TEST(PortNaming, UsbFirstThenAcmAmaThenRealTtyS) {
    const std::vector<std::string> dev = {"ttyS1", "ttyUSB10", "ttyACM0", "null", "ttyUSB2", "ttyAMA0",
                                          "ttyS0", "ttyUSBx", "tty5", "ttyS12", "ttyUSB0"};
    const auto ordered = orderSerialDevices(dev, [](const std::string& n) { return n != "ttyS1"; });
    const std::vector<std::string> expected = {"/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0",
                                               "/dev/ttyAMA0", "/dev/ttyS0",   "/dev/ttyS12"};
    EXPECT_EQ(ordered, expected);
}

TEST(PortNaming, PortNumbersCountFromOneAndZeroNamesNothing) {
    const std::vector<std::string> ordered = {"/dev/ttyUSB0", "/dev/ttyS0"};
    struct Case { std::uint8_t port; const char* path; };
    for (const Case c : {Case{0, ""}, Case{1, "/dev/ttyUSB0"}, Case{2, "/dev/ttyS0"}, Case{3, ""}, Case{32, ""}})
        EXPECT_EQ(pickPort(ordered, c.port), c.path) << "port " << int(c.port);
}

} // namespace
