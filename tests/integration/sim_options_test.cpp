// ventora-sim's command line, run as a user runs it. A value it takes is seen
// by the complaint moving on to the word after it.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

struct SimOptionsCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string complaint;   // the first line on stderr
    friend void PrintTo(const SimOptionsCase& c, std::ostream* os) { *os << c.name; }
};

class SimOptionsTest : public testing::TestWithParam<SimOptionsCase> {};

TEST_P(SimOptionsTest, StatusAndComplaint) {
    const SimOptionsCase& c = GetParam();
    const ProcessRun run = Process(Launch{VENTORA_SIM_PATH, c.args}).finish();
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.complaint);
    EXPECT_EQ(run.out.rfind("usage: ventora-sim [options]\n", 0) == 0, c.status == 0) << run.out;
    const bool unknown = c.complaint.rfind("ventora-sim: unknown option", 0) == 0;
    EXPECT_EQ(run.err.find("\nusage: ventora-sim [options]\n") != std::string::npos, unknown) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SimOptionsTest,
    testing::Values(
        SimOptionsCase{"Help", {"--help"}, 0, ""},
        SimOptionsCase{"ShortHelp", {"-h"}, 0, ""},
        SimOptionsCase{"HelpBeforeABadValue", {"--help", "--address", "0"}, 0, ""},
        SimOptionsCase{"BadValueBeforeHelp", {"--address", "0", "--help"}, 2,
                       "ventora-sim: bad value for --address: 0"},
        SimOptionsCase{"UnknownOption", {"--bogus", "--address", "0"}, 2, "ventora-sim: unknown option --bogus"},
        SimOptionsCase{"BadValueBeforeUnknown", {"--address", "0", "--bogus"}, 2,
                       "ventora-sim: bad value for --address: 0"},
        SimOptionsCase{"ValueMissing", {"--line-rate", "--address"}, 2, "ventora-sim: --address needs a value"},
        SimOptionsCase{"ValuesTaken",
                       {"--address=255", "--baud", "4000000", "--velocity", "65535", "--volume", "nan", "--area", "0",
                        "--parity", "255", "--stop-a", "1", "--stop-b", "255", "--turnaround", "60000", "-v",
                        "--dialect=modbus", "--line-rate", "extra"},
                       2, "ventora-sim: unknown option extra"},
        SimOptionsCase{"Address256", {"--address", "256"}, 2, "ventora-sim: bad value for --address: 256"},
        SimOptionsCase{"AddressInHex", {"--address", "0x10"}, 2, "ventora-sim: bad value for --address: 0x10"},
        SimOptionsCase{"NegativeAddress", {"--address", "-1"}, 2, "ventora-sim: bad value for --address: -1"},
        SimOptionsCase{"BaudZero", {"--baud", "0"}, 2, "ventora-sim: bad value for --baud: 0"},
        SimOptionsCase{"BaudAbove4M", {"--baud", "4000001"}, 2, "ventora-sim: bad value for --baud: 4000001"},
        SimOptionsCase{"Velocity65536", {"--velocity", "65536"}, 2, "ventora-sim: bad value for --velocity: 65536"},
        SimOptionsCase{"VolumeWithATail", {"--volume", "1.5x"}, 2, "ventora-sim: bad value for --volume: 1.5x"},
        SimOptionsCase{"Area65536", {"--area", "65536"}, 2, "ventora-sim: bad value for --area: 65536"},
        SimOptionsCase{"Parity256", {"--parity", "256"}, 2, "ventora-sim: bad value for --parity: 256"},
        SimOptionsCase{"StopCheckNotANumber", {"--stop-b", "x"}, 2, "ventora-sim: bad value for --stop-b: x"},
        SimOptionsCase{"TurnaroundAboveAMinute", {"--turnaround", "60001"}, 2,
                       "ventora-sim: bad value for --turnaround: 60001"},
        SimOptionsCase{"DialectIsLowerCase", {"--dialect", "MODBUS"}, 2,
                       "ventora-sim: bad value for --dialect: MODBUS"},
        SimOptionsCase{"LineWithATrailingComma", {"--line", "1,"}, 2, "ventora-sim: bad value for --line: 1,"},
        SimOptionsCase{"LineWithAPause", {"--line", "1:5"}, 2, "ventora-sim: bad value for --line: 1:5"},
        SimOptionsCase{"LineAddressZero", {"--line", "0"}, 2, "ventora-sim: bad value for --line: 0"},
        SimOptionsCase{"LinePauseWithoutMs", {"--line", "1,2", "--line-turnaround", "2"}, 2,
                       "ventora-sim: bad value for --line-turnaround: 2"},
        SimOptionsCase{"LinePauseAboveAMinute", {"--line", "1", "--line-turnaround", "1:60001"}, 2,
                       "ventora-sim: bad value for --line-turnaround: 1:60001"},
        SimOptionsCase{"LinePauseWithoutLine", {"--line-turnaround", "1:5"}, 2,
                       "ventora-sim: --line-turnaround needs --line"},
        SimOptionsCase{"LineWithAddress", {"--line", "1", "--address", "1"}, 2,
                       "ventora-sim: --line takes the addresses of FD transmitters; --address and --dialect modbus "
                       "do not apply"},
        SimOptionsCase{"LineOfModbus", {"--dialect", "modbus", "--line", "1"}, 2,
                       "ventora-sim: --line takes the addresses of FD transmitters; --address and --dialect modbus "
                       "do not apply"},
        SimOptionsCase{"LinesAddUp", {"--line", "1", "--line", "2", "--line-turnaround", "1:5,3:5"}, 2,
                       "ventora-sim: --line-turnaround: no transmitter at address 3"}));

} // namespace
