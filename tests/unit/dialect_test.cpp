#include "protocol/dialect.h"

#include <gtest/gtest.h>

namespace {

// The rates a transmitter of each dialect can be set to: the window and the
// CLI's option checks both refuse anything else before sending.
TEST(Dialects, RatesEachCanBeSetTo) {
    struct Case {
        Dialect dialect;
        std::int32_t baud;
        bool allowed;
    };
    const Case cases[] = {
        {Dialect::Fd, 2400, true},       {Dialect::Fd, 4800, true},      {Dialect::Fd, 9600, true},
        {Dialect::Fd, 1200, false},      {Dialect::Fd, 19200, false},    {Dialect::Fd, 0, false},
        {Dialect::Modbus, 1200, true},   {Dialect::Modbus, 19200, true}, {Dialect::Modbus, 38400, true},
        {Dialect::Modbus, 57600, false}, {Dialect::Modbus, 0, false},    {Dialect::Modbus, -1, false},
    };
    for (const Case& c : cases) EXPECT_EQ(baudAllowed(c.dialect, c.baud), c.allowed) << int(c.dialect) << ' ' << c.baud;
}

// A transmitter is only given a rate where detection finds it again.
TEST(Dialects, RatesThatMayBeSetInEither) {
    for (const std::int32_t baud : {1200, 2400, 4800, 9600, 19200, 38400}) {
        const bool settable = baud == 2400 || baud == 4800 || baud == 9600;
        EXPECT_EQ(baudSettable(Dialect::Fd, baud), settable) << baud;
        EXPECT_EQ(baudSettable(Dialect::Modbus, baud), settable) << baud;
    }
}

// An attempt at a rate its dialect cannot name could never find a transmitter.
TEST(Dialects, DetectionTriesOnlyRatesItsDialectCanHave) {
    for (const DetectionAttempt& attempt : kDetectionPlan) EXPECT_TRUE(baudAllowed(attempt.dialect, attempt.baud));
    for (const DetectionAttempt& attempt : kFurtherModbusAttempts)
        EXPECT_TRUE(baudAllowed(attempt.dialect, attempt.baud));
}

} // namespace
