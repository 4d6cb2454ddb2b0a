// ventora-sim's command line, run as a user runs it: what it refuses, and why.

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

struct SimOptionsCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string complaint; // a part of what stderr says
    friend void PrintTo(const SimOptionsCase& c, std::ostream* os) { *os << c.name; }
};

class SimOptionsTest : public testing::TestWithParam<SimOptionsCase> {};

TEST_P(SimOptionsTest, StatusAndComplaint) {
    const SimOptionsCase& c = GetParam();
    const ProcessRun run = Process(Launch{VENTORA_SIM_PATH, c.args}).finish();
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.complaint), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SimOptionsTest,
    testing::Values(
        SimOptionsCase{"Help", {"--help"}, 0, ""}, SimOptionsCase{"UnknownOption", {"--bogus"}, 2, "--bogus"},
        SimOptionsCase{"ValueMissing", {"--line-rate", "--address"}, 2, "--address"},
        SimOptionsCase{"Address256", {"--address", "256"}, 2, "--address"},
        SimOptionsCase{"NegativeAddress", {"--address", "-1"}, 2, "--address"},
        SimOptionsCase{"BaudAbove4M", {"--baud", "4000001"}, 2, "--baud"},
        SimOptionsCase{"Velocity65536", {"--velocity", "65536"}, 2, "--velocity"},
        SimOptionsCase{"VolumeWithATail", {"--volume", "1.5x"}, 2, "--volume"},
        SimOptionsCase{"Parity256", {"--parity", "256"}, 2, "--parity"},
        SimOptionsCase{"TurnaroundAboveAMinute", {"--turnaround", "60001"}, 2, "--turnaround"},
        SimOptionsCase{"DialectIsLowerCase", {"--dialect", "MODBUS"}, 2, "--dialect"},
        SimOptionsCase{"LineWithATrailingComma", {"--line", "1,"}, 2, "--line"},
        SimOptionsCase{"LineWithAPause", {"--line", "1:5"}, 2, "--line"},
        SimOptionsCase{
            "LinePauseAboveAMinute", {"--line", "1", "--line-turnaround", "1:60001"}, 2, "--line-turnaround"},
        SimOptionsCase{
            "LinePauseWithoutLine", {"--line-turnaround", "1:5"}, 2, "ventora-sim: --line-turnaround needs --line"},
        SimOptionsCase{"LineOfModbus",
                       {"--dialect", "modbus", "--line", "1"},
                       2,
                       "ventora-sim: --line takes the addresses of FD transmitters; --address and --dialect modbus "
                       "do not apply"},
        SimOptionsCase{"LinesAddUp",
                       {"--line", "1", "--line", "2", "--line-turnaround", "1:5,3:5"},
                       2,
                       "ventora-sim: --line-turnaround: no transmitter at address 3"}));

// A script takes stdout as the path, as it is; the sentence is for a person.
TEST(SimOutput, ThePathAloneOnStdout) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"--line", "3,5"}}) {
        Process sim(Launch{VENTORA_SIM_PATH, args});
        ASSERT_TRUE(sim.awaitOutput("\n", std::chrono::seconds(5)));
        sim.interrupt();
        const ProcessRun run = sim.finish();
        EXPECT_EQ(run.status, 0);
        ASSERT_TRUE(run.out.starts_with("/dev/") && run.out.find(' ') == std::string::npos) << run.out;
        EXPECT_NE(run.err.find("serving"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(run.out.substr(0, run.out.size() - 1)), std::string::npos) << run.err;
    }
}

} // namespace
