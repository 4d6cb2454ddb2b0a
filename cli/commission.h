#pragma once
// What commissioning one transmitter came to, as the log's row and as the
// line a person reads.

#include <cstdint>
#include <optional>
#include <string>

#include "cli/device.h"

inline constexpr const char* kCommissionLogHeader =
    "time,port,device,dialect,old_address,address,old_baud,baud,area,velocity,volume,result";

struct Commissioned {
    DeviceIdentity old;                // as it was found
    DeviceIdentity identity;           // as it answers now
    std::optional<std::uint16_t> area; // read back: FD dialect only
    std::optional<Measurement> measurement;
    std::string outcome = "ok"; // "ok" (then "; takes effect when ...", "; area not set: ..."), or "failed: why"
    Status status = Status::Ok;
};

// The log's row, in kCommissionLogHeader's columns, for the transmitter
// commissioned at time on port (the device it named then).
std::string commissionLogRow(const Commissioned& done, const std::string& time, const std::string& port,
                             const std::string& device);

// "#number place: address 1 -> 10, 9600 -> 4800 bit/s[, area A cm2][, V m/s, Q m3/h]: outcome"
std::string commissionText(const Commissioned& done, unsigned number, const std::string& place);
