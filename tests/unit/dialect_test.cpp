#include "protocol/dialect.h"

#include <gtest/gtest.h>

namespace {

// The rates a transmitter of each dialect can run at, and those it may be
// set to: only where detection finds it again. The window and the CLI refuse
// anything else before sending.
TEST(Dialects, RatesEachCanRunAtAndBeSetTo) {
    struct Case {
        Dialect dialect;
        std::int32_t baud;
        bool allowed, settable;
    };
    const Case cases[] = {
        {Dialect::Fd, 2400, true, true},        {Dialect::Fd, 4800, true, true},
        {Dialect::Fd, 9600, true, true},        {Dialect::Fd, 1200, false, false},
        {Dialect::Fd, 19200, false, false},     {Dialect::Fd, 0, false, false},
        {Dialect::Modbus, 2400, true, true},    {Dialect::Modbus, 4800, true, true},
        {Dialect::Modbus, 9600, true, true},    {Dialect::Modbus, 1200, true, false},
        {Dialect::Modbus, 19200, true, false},  {Dialect::Modbus, 38400, true, false},
        {Dialect::Modbus, 57600, false, false}, {Dialect::Modbus, 0, false, false},
        {Dialect::Modbus, -1, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(baudAllowed(c.dialect, c.baud), c.allowed) << int(c.dialect) << ' ' << c.baud;
        EXPECT_EQ(baudSettable(c.dialect, c.baud), c.settable) << int(c.dialect) << ' ' << c.baud;
    }
}

// An attempt at a rate its dialect cannot name could never find a transmitter.
TEST(Dialects, DetectionTriesOnlyRatesItsDialectCanHave) {
    for (const DetectionAttempt& attempt : kDetectionPlan) EXPECT_TRUE(baudAllowed(attempt.dialect, attempt.baud));
    for (const DetectionAttempt& attempt : kFurtherModbusAttempts)
        EXPECT_TRUE(baudAllowed(attempt.dialect, attempt.baud));
}

} // namespace
