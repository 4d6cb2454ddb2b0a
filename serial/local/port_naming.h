#pragma once
// The Linux naming rule for port numbers: port n (1-based) is the n-th serial
// device present, USB adapters first (ttyUSB), then ttyACM and ttyAMA, each in
// numeric order, then the ttyS ports that have real hardware.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Orders the serial devices among the names of /dev entries ("ttyUSB0", ...)
// and returns their paths ("/dev/ttyUSB0", ...). hasHardware is asked about
// each "ttySN" and keeps only those it accepts. Other names are ignored.
std::vector<std::string> orderSerialDevices(const std::vector<std::string>& devEntries,
                                            const std::function<bool(const std::string&)>& hasHardware);

// Path of port n within an ordered device list; "" for port 0 or past the end.
std::string pickPort(const std::vector<std::string>& ordered, std::uint8_t portNumber);

// A stable alias of a device: its name in /dev/serial/by-id and the device
// path that link resolves to.
struct DeviceAlias {
    std::string name;   // "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0"
    std::string target; // "/dev/ttyUSB0"
};

// The alias name of devicePath ("" when none resolves to it). Where several
// do, the first in name order, so the answer does not depend on listing order.
std::string aliasFor(const std::string& devicePath, const std::vector<DeviceAlias>& aliases);

// The port number a name of the window's port list gives: "COM7" gives 7; 0
// for anything else ("COM07", "COM0", "COM256", a device path).
std::uint8_t comPortNumber(const std::string& name);
