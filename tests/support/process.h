#pragma once
// A program run as a child process by a test or the benchmark: started at
// construction, ended at destruction if it still runs. process_posix.cpp
// starts it with posix_spawn, tests/wine/process_win32.cpp with CreateProcess.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct Launch {
    std::string program; // a path, or a name looked up on PATH
    std::vector<std::string> args = {};
    // Where standard output and standard error go: a file or device written
    // to ("/dev/null", a terminal); none, collected through a pipe.
    std::optional<std::string> outTo = {}, errTo = {};
    // NAME=value entries that replace or add to the inherited environment.
    std::vector<std::string> environment = {};
    // POSIX: a session of its own, so that a terminal named by outTo becomes
    // its controlling terminal. On Windows every child has a process group of
    // its own anyway, so that interrupt() reaches only the child.
    bool ownSession = false;
};

struct ProcessRun {
    int status = -1;      // the exit status; 128 + the signal on POSIX; -1 when it never started
    std::string out, err; // what was collected
    double cpuMs = 0;     // user and system time the child used
};

class Process {
public:
    explicit Process(const Launch& launch);
    ~Process();

    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const;
    // Started and not yet ended.
    bool running();
    // Asks the program to stop, as Ctrl+C (Ctrl+Break on Windows) does.
    void interrupt();
    // Ends the program at once, as a crash or a power cut would.
    void kill();
    // Collects standard output until `text` has appeared in it; false when the
    // output ended or timeout passed first.
    bool awaitOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Collects the output until the program ends (ending it after 30 s
    // without output) and returns how it ended.
    ProcessRun finish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The status finish() reports after kill().
int killedStatus();
// The status ventora-cli ends with when interrupt() cut a command short: 130
// as for SIGINT; on Windows, where interrupt() is Ctrl+Break, 143.
int interruptedStatus();
