#include "cli/report.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/platform.h"

std::string Report::place() const {
    const std::string device = link_.devicePath();
    return device.empty() || device == link_.portName() ? link_.portName() : link_.portName() + " (" + device + ")";
}

Json Report::where() const {
    Json json;
    json["port"] = link_.portName();
    json["device"] = link_.devicePath();
    return json;
}

Json Report::describe(const DeviceIdentity& identity) const {
    Json json = where();
    json["dialect"] = dialectName(identity.dialect);
    json["baud"] = identity.baud;
    if (identity.address != 0) json["address"] = identity.address;
    return json;
}

void Report::result(const Json& json, const std::string& text) const { writeLine(out_, json_ ? jsonText(json) : text); }

int Report::failWith(Status status, const std::string& text) const {
    complain(text);
    return int(status);
}

void Report::complain(const std::string& text) const {
    std::fprintf(err_, "%sventora-cli: %s\n", priorities_ ? "<3>" : "", text.c_str());
    lastFailure_ = text;
}

void Report::endWith(int status) const {
    if (!json_ || status == 0) return;
    std::string text = lastFailure_;
    if (text.empty())
        text = status == int(Status::NoAnswer)  ? "no transmitter answered"
               : status == int(Status::Refused) ? "a reply was refused or invalid"
                                                : "the command failed";
    writeLine(out_, errorJson(text, status));
}

int Report::fail(Status status) const {
    failWith(status, failure(status));
    return status == Status::Interrupted ? stopStatus() : int(status);
}

std::string Report::failure(Status status) const {
    if (status == Status::OpenFailed) return (link_.connectionLost() ? "" : "cannot open ") + link_.openFailure();
    return place() + ": " + device_.why();
}

void Report::warn(const std::string& text) const {
    std::fprintf(err_, "%sventora-cli: %s\n", priorities_ ? "<4>" : "", text.c_str());
}

void Report::notice(const std::string& text) const {
    std::fprintf(err_, "%s%s\n", priorities_ ? "<6>" : "", text.c_str());
}

AppendedFile Report::openAppend(const std::string& path, const char* header) const {
    AppendedFile file(std::fopen(path.c_str(), "a+"));
    if (!file) {
        complain("cannot write " + path + ": " + std::strerror(errno));
        return file;
    }
    // A pipe or a terminal (/dev/stdout) has no first line to check.
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    std::fseek(file.get(), 0, SEEK_END);
    if (!regular || std::ftell(file.get()) == 0) {
        std::fprintf(file.get(), "%s\n", header);
        syncFile(file.get());
        return file;
    }
    // Rows under another header (an older form, another command's log) would
    // read as the wrong columns.
    std::rewind(file.get());
    char first[256] = {};
    if (std::fgets(first, sizeof first, file.get()) == nullptr) first[0] = '\0';
    std::string found(first);
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    if (found == header) {
        // A file an editor saved without a last newline: the next row starts a line of its own.
        std::fseek(file.get(), -1, SEEK_END);
        const bool lineEnded = std::fgetc(file.get()) == '\n';
        std::fseek(file.get(), 0, SEEK_END); // from reading to writing
        if (!lineEnded) {
            std::fputc('\n', file.get());
            syncFile(file.get());
        }
        return file;
    }
    complain(path + " holds other columns than " + header + "; name a new file");
    return nullptr;
}
