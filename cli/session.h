#pragma once
// One run of ventora-cli on one port: the commands, and what they share for
// finding the transmitter and reporting. Results go to out, as text or JSON
// lines; notices, failures and summaries go to err.

#include <cstdio>
#include <string>

#include "cli/device.h"
#include "cli/line.h"
#include "cli/options.h"
#include "cli/output.h"

class Session {
public:
    Session(const Options& options, Port& port, std::FILE* out, std::FILE* err)
        : options_(options),
          out_(out),
          err_(err),
          line_(port, options.port, std::chrono::milliseconds(options.timeoutMs), options.verbose ? err : nullptr),
          device_(line_) {}

    int run();

private:
    int ports();
    int detect();
    int read();
    int watch();          // watch.cpp
    int scan();           // scan.cpp
    int get();
    int set();
    int commission();

    // Finds the transmitter, or takes it as the options describe it.
    Status establish(DeviceIdentity& identity);
    // Reports a failed status on stderr and returns it as the exit status.
    int fail(Status status);
    int failWith(Status status, const std::string& text);
    Json where() const;
    Json describe(const DeviceIdentity& identity) const;
    void result(const Json& json, const std::string& text);
    std::string place() const;
    bool openAppend(const std::string& path, const char* header, std::FILE*& file);

    // Detection rounds until a transmitter answers; false when stopped or the
    // port would not open (status says which).
    bool waitForTransmitter(DeviceIdentity& identity, Status& status);
    // Probes until a whole round gets no answer at all; false when stopped.
    bool waitForUnplug(const DeviceIdentity& identity);
    Status probeRound(DeviceIdentity& identity);

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    Line line_;
    Device device_;
};
