// The process runner that the CLI tests and the benchmark start programs
// with, on the system's shell.

#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;

struct RunCase {
    const char* what;
    Launch launch;
    int status;
    std::string out, err;
};

Launch shell(const std::string& script) { return {.program = "sh", .args = {"-c", script}}; }

TEST(Process, RunsTheProgramAndCollectsWhatItSays) {
    Launch replaced = shell("echo $HOME $VENTORA_ADDED");
    replaced.environment = {"HOME=/elsewhere", "VENTORA_ADDED=1"};
    Launch discarded = shell("echo out; echo err >&2");
    discarded.outTo = "/dev/null";
    const RunCase cases[] = {
        {"status and both streams apart", shell("echo out; echo err >&2; exit 3"), 3, "out\n", "err\n"},
        {"environment entries replace and add", replaced, 0, "/elsewhere 1\n", ""},
        {"output sent to a file", discarded, 0, "", "err\n"},
        {"a killed program", shell("kill -9 $$"), killedStatus(), "", ""},
        {"no such program", {.program = "/nonexistent/ventora-none"}, -1, "", ""},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.what);
        const ProcessRun run = Process(c.launch).finish();
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(Process, AwaitOutputReturnsOnTheTextOrOnTheEnd) {
    const auto t0 = std::chrono::steady_clock::now();
    Process shown(shell("echo shown; exec sleep 30"));
    EXPECT_TRUE(shown.awaitOutput("shown", 10s));
    EXPECT_TRUE(shown.running());
    shown.kill();
    EXPECT_EQ(shown.finish().status, killedStatus());

    Process other(shell("echo other"));
    EXPECT_FALSE(other.awaitOutput("shown", 10s));
    EXPECT_EQ(other.finish().out, "other\n");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s) << "neither waited for its timeout";
}

} // namespace
