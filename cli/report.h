#pragma once
// Where a command's words go: results on out, as text or JSON lines; notices,
// failures and summaries on err, each naming the port being talked to.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/device.h"
#include "cli/link.h"
#include "cli/output.h"

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using AppendedFile = std::unique_ptr<std::FILE, FileCloser>;

class Report {
public:
    Report(bool json, const Link& link, const Device& device, std::FILE* out, std::FILE* err)
        : json_(json),
          link_(link),
          device_(device),
          out_(out),
          err_(err) {}

    std::FILE* out() const { return out_; }
    std::FILE* err() const { return err_; }

    // The port as the user named it, with the device it stands for when that differs.
    std::string place() const;
    // {"port", "device"}, which every JSON result begins with.
    Json where() const;
    // where(), then the transmitter's dialect, baud rate and known address.
    Json describe(const DeviceIdentity& identity) const;
    // One result line: json when --json was given, text otherwise.
    void result(const Json& json, const std::string& text) const;

    // Says on err why status came (the port that would not open, or what the
    // transmitter did) and returns it as the exit status.
    int fail(Status status) const;
    int failWith(Status status, const std::string& text) const;
    // Says text on err as a failure; the last one said is what --json ends with.
    void complain(const std::string& text) const;
    // With --json, after a command that ended with status other than 0: the
    // error line on out, with the last failure said, or what the status means.
    void endWith(int status) const;

    // Opens path for appending, writing header first into an empty file.
    // Null, said on err, when it cannot be opened.
    AppendedFile openAppend(const std::string& path, const char* header) const;

private:
    bool json_;
    const Link& link_;
    const Device& device_;
    std::FILE* out_;
    std::FILE* err_;
    mutable std::string lastFailure_;
};
