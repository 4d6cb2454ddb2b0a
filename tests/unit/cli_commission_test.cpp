#include "cli/commission.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct CommissionCase {
    const char* name;
    Commissioned done;
    const char* text; // as #2 on COM3 (/dev/ttyUSB0)
    const char* row;  // at 2026-12-07T13:45:12.345Z
    friend void PrintTo(const CommissionCase& c, std::ostream* os) { *os << c.name; }
};

Commissioned commissioned(DeviceIdentity old, DeviceIdentity now, std::optional<std::uint16_t> area,
                          std::optional<Measurement> measurement, const char* outcome) {
    Commissioned done;
    done.old = old;
    done.identity = now;
    done.area = area;
    done.measurement = measurement;
    done.outcome = outcome;
    return done;
}

class CommissionRecordTest : public testing::TestWithParam<CommissionCase> {};

TEST_P(CommissionRecordTest, TextAndLogRow) {
    const CommissionCase& c = GetParam();
    EXPECT_EQ(commissionText(c.done, 2, "COM3 (/dev/ttyUSB0)"), c.text);
    EXPECT_EQ(commissionLogRow(c.done, "2026-12-07T13:45:12.345Z", "COM3", "/dev/ttyUSB0"), c.row);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CommissionRecordTest,
    testing::Values(
        CommissionCase{
            "FdWithAreaAndReading",
            commissioned({Dialect::Fd, 9600, 1}, {Dialect::Fd, 4800, 10}, 300, Measurement{123, 1328.4f}, "ok"),
            "#2 COM3 (/dev/ttyUSB0): address 1 -> 10, 9600 -> 4800 bit/s, area 300 cm2, 12.3 m/s, "
            "1328.4 m3/h: ok",
            "2026-12-07T13:45:12.345Z,COM3,/dev/ttyUSB0,fd,1,10,9600,4800,300,12.3,1328.4,ok"},
        CommissionCase{"ModbusWithoutAreaQuotesTheOutcome",
                       commissioned({Dialect::Modbus, 9600, 1}, {Dialect::Modbus, 9600, 11}, std::nullopt,
                                    Measurement{0, 0.5f}, "ok; area not set: no area, \"none\""),
                       "#2 COM3 (/dev/ttyUSB0): address 1 -> 11, 9600 -> 9600 bit/s, 0.0 m/s, 0.5 m3/h: ok; area "
                       "not set: no area, \"none\"",
                       "2026-12-07T13:45:12.345Z,COM3,/dev/ttyUSB0,modbus,1,11,9600,9600,,0.0,0.5,"
                       "\"ok; area not set: no area, \"\"none\"\"\""},
        CommissionCase{"FailedLeavesTheReadingsEmpty",
                       commissioned({Dialect::Fd, 2400, 5}, {Dialect::Fd, 2400, 5}, std::nullopt, std::nullopt,
                                    "failed: no reply within 220 ms"),
                       "#2 COM3 (/dev/ttyUSB0): address 5 -> 5, 2400 -> 2400 bit/s: failed: no reply within 220 ms",
                       "2026-12-07T13:45:12.345Z,COM3,/dev/ttyUSB0,fd,5,5,2400,2400,,,,"
                       "failed: no reply within 220 ms"}));

} // namespace
