#pragma once
// What the system tells of the adapter behind a serial device, for the list
// of ports: a USB adapter's ids and names, and the latency timer of drivers
// that hold received bytes back (FTDI's). Reading it touches no device.

#include <string>

struct AdapterInfo {
    bool usb = false;        // the fields below up to serial come from the USB device
    std::string vendorId;    // four hex digits, as the device reports them
    std::string productId;   // four hex digits
    std::string product;     // "" when the device names none
    std::string serial;      // "" when the device has no serial number
    int latencyTimerMs = -1; // -1 when the driver exposes none
};

// The adapter behind devicePath as the system describes it now (Linux: sysfs;
// Windows: only the latency timer the FTDI driver keeps in the registry).
AdapterInfo adapterInfo(const std::string& devicePath);

// How a person sets the latency timer of devicePath's adapter to 1 ms by hand.
std::string latencyTimerHowTo(const std::string& devicePath);

#ifndef _WIN32
// adapterInfo for the tty ttyName ("ttyUSB0") in the sysfs tree at sysRoot.
AdapterInfo adapterInfoIn(const std::string& sysRoot, const std::string& ttyName);
#endif
