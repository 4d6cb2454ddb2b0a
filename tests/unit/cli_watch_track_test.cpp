#include "cli/watch_track.h"
#include "cli/watch_outage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {

// A reading given as velocity tenths and volume; a negative velocity is a missed reading.
struct Reading {
    int tenths;
    float volume = 0;
};

Track watched(const std::vector<Reading>& readings, std::uint8_t address = 7) {
    Track track;
    track.identity.address = address;
    for (const Reading& r : readings) {
        if (r.tenths < 0)
            track.miss(Status::NoAnswer, "no answer");
        else
            track.add(Measurement{std::uint16_t(r.tenths), r.volume});
    }
    return track;
}

struct SummaryCase {
    const char* name;
    std::vector<Reading> readings;
    bool several;
    const char* summary;
    friend void PrintTo(const SummaryCase& c, std::ostream* os) { *os << c.name; }
};

class TrackSummaryTest : public testing::TestWithParam<SummaryCase> {};

TEST_P(TrackSummaryTest, Text) {
    const SummaryCase& c = GetParam();
    EXPECT_EQ(trackSummary(watched(c.readings), c.several), c.summary);
}

INSTANTIATE_TEST_SUITE_P(
    Tallies, TrackSummaryTest,
    testing::Values(SummaryCase{"NothingRead", {}, false, "0 readings"},
                    SummaryCase{"OneTransmitterWithAFailure",
                                {{10, 10.5f}, {-1}, {20, 20}},
                                false,
                                "2 readings, 1 miss; velocity min 1.0 mean 1.50 max 2.0 m/s; "
                                "volume min 10.5 mean 15.25 max 20 m3/h"},
                    SummaryCase{"OnALineMissesAreCountedAsSuch",
                                {{-1}, {123, NAN}, {-1}},
                                true,
                                "address 7: 1 reading, 2 misses; velocity min 12.3 mean 12.30 max 12.3 m/s"},
                    SummaryCase{
                        "VolumesThatAreNotNumbersStayOut",
                        {{5, INFINITY}, {15, 3}},
                        false,
                        "2 readings; velocity min 0.5 mean 1.00 max 1.5 m/s; volume min 3 mean 3.00 max 3 m3/h"},
                    SummaryCase{"NothingReadOnALine", {{-1}}, true, "address 7: 0 readings, 1 miss"}));

struct SparkCase {
    const char* name;
    std::vector<Reading> readings;
    std::string line;
    friend void PrintTo(const SparkCase& c, std::ostream* os) { *os << c.name; }
};

class SparklineTest : public testing::TestWithParam<SparkCase> {};

TEST_P(SparklineTest, Blocks) { EXPECT_EQ(sparkline(watched(GetParam().readings)), GetParam().line); }

std::vector<Reading> missThenSame(int same) {
    std::vector<Reading> readings{{-1}};
    readings.resize(1 + same, Reading{50});
    return readings;
}

std::string repeated(const std::string& glyph, int count) {
    std::string line;
    for (int i = 0; i < count; ++i) line += glyph;
    return line;
}

INSTANTIATE_TEST_SUITE_P(Readings, SparklineTest,
                         testing::Values(SparkCase{"NothingYet", {}, ""},
                                         SparkCase{"ScaledToTheTransmittersOwnRange", {{10}, {20}, {30}}, "▁▅█"},
                                         SparkCase{"OneValueSitsMidway", {{123}, {123}, {123}}, "▄▄▄"},
                                         SparkCase{"AMissLeavesAGap", {{10}, {-1}, {30}}, "▁ █"},
                                         SparkCase{"ThirtyFitTheLine", missThenSame(29), " " + repeated("▄", 29)},
                                         SparkCase{"TheOldestLeavesTheLine", missThenSame(30), repeated("▄", 30)}));

TEST(TrackTest, AFailureOutlivesLaterReadings) {
    Track track = watched({{10}});
    track.miss(Status::Refused, "invalid reply");
    EXPECT_EQ(track.velocityText, "-");
    EXPECT_EQ(track.lastResult, "invalid reply");
    track.add(Measurement{123, 1328.4f});
    EXPECT_EQ(track.lastStatus, Status::Ok);
    EXPECT_EQ(track.lastFailure, Status::Refused) << "the watch's status tells of it after the line recovered";
    EXPECT_EQ(track.velocityText, "12.3");
    EXPECT_EQ(track.volumeText, "1328.4");
}

// Steps of an outage: 'l' the port found lost, 'f' a reopen that failed and
// 'o' one that opened, each at ms; 'r' a round the lost port took.
struct OutageStep {
    char op;
    int ms = 0;
};

struct OutageCase {
    const char* name;
    std::vector<OutageStep> steps;
    int grid;  // a round due on the interval's grid then (ms)...
    int start; // ...starts then
    int wake;  // and a wait until 5000 ms must wake by then to reopen
    const char* summary;
    friend void PrintTo(const OutageCase& c, std::ostream* os) { *os << c.name; }
};

class PortOutagesTest : public testing::TestWithParam<OutageCase> {};

TEST_P(PortOutagesTest, PacesReopensAndCounts) {
    const OutageCase& c = GetParam();
    const auto at = [](int ms) { return PortOutages::Clock::time_point(std::chrono::milliseconds(ms)); };
    PortOutages outages;
    for (const OutageStep& step : c.steps) {
        if (step.op == 'l') {
            outages.lose(at(step.ms));
            EXPECT_TRUE(outages.reopenDue(at(step.ms))) << "the first reopen is tried at once";
        }
        if (step.op == 'f' || step.op == 'o') outages.reopened(step.op == 'o', at(step.ms));
        if (step.op == 'r') outages.countRound();
    }
    EXPECT_EQ(outages.roundStart(at(c.grid)), at(c.start));
    EXPECT_EQ(outages.wakeBy(at(5000)), at(c.wake));
    EXPECT_EQ(outages.reopenDue(at(c.wake)), outages.lost());
    EXPECT_EQ(outages.summary(), c.summary);
}

INSTANTIATE_TEST_SUITE_P(
    Outages, PortOutagesTest,
    testing::Values(OutageCase{"NeverLost", {}, 100, 100, 5000, ""},
                    OutageCase{
                        "BackAtTheFirstReopen", {{'l'}, {'r'}, {'o'}}, 100, 100, 5000, "port lost 1 round, 1 outage"},
                    OutageCase{"ShortIntervalsWaitForTheNextReopen",
                               {{'l'}, {'r'}, {'f'}},
                               100,
                               1000,
                               1000,
                               "port lost 1 round, 1 outage"},
                    OutageCase{"LongIntervalsKeepTheirGridAndReopenMeanwhile",
                               {{'l'}, {'r'}, {'f'}, {'r'}, {'f', 1000}},
                               3000,
                               3000,
                               2000,
                               "port lost 2 rounds, 1 outage"},
                    OutageCase{"EachLossIsAnOutage",
                               {{'l'}, {'r'}, {'o'}, {'l', 500}, {'r'}, {'r'}, {'f', 500}},
                               600,
                               1500,
                               1500,
                               "port lost 3 rounds, 2 outages"}));

} // namespace
