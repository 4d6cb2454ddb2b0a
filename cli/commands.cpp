#include "cli/commands.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "cli/device.h"
#include "cli/line.h"
#include "cli/output.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "serial/local/serial_port.h"

namespace {

using SystemClock = std::chrono::system_clock;

constexpr const char* kLogHeader =
    "time,port,device,dialect,old_address,address,old_baud,baud,area,velocity,volume,result";

} // namespace

std::string Session::place() const {
    const std::string device = line_.devicePath();
    return device.empty() || device == line_.portName() ? line_.portName() : line_.portName() + " (" + device + ")";
}

int Session::failWith(Status status, const std::string& text) {
    std::fprintf(err_, "ventora-cli: %s\n", text.c_str());
    return int(status);
}

int Session::fail(Status status) {
    if (status == Status::OpenFailed)
        return failWith(status, (line_.connectionLost() ? "" : "cannot open ") + line_.openFailure());
    return failWith(status, place() + ": " + device_.why());
}

Json Session::where() const {
    Json json;
    json["port"] = line_.portName();
    json["device"] = line_.devicePath();
    return json;
}

Json Session::describe(const DeviceIdentity& identity) const {
    Json json = where();
    json["dialect"] = dialectName(identity.dialect);
    json["baud"] = identity.baud;
    if (identity.address != 0) json["address"] = identity.address;
    return json;
}

void Session::result(const Json& json, const std::string& text) {
    writeLine(out_, options_.json ? json.dump() : text);
}

bool Session::openAppend(const std::string& path, const char* header, std::FILE*& file) {
    file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        std::fprintf(err_, "ventora-cli: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::fseek(file, 0, SEEK_END);
    if (std::ftell(file) == 0) {
        std::fprintf(file, "%s\n", header);
        syncFile(file);
    }
    return true;
}

Status Session::establish(DeviceIdentity& identity) {
    if (options_.baud) {
        identity.dialect = *options_.dialect;
        identity.baud = *options_.baud;
        identity.address = options_.address.value_or(0);
        return device_.attach(identity, !options_.address.has_value());
    }
    return device_.detect(identity);
}

int Session::run() {
    switch (options_.command) {
    case Command::Ports: return ports();
    case Command::Detect: return detect();
    case Command::Read: return read();
    case Command::Watch: return watch();
    case Command::Get: return get();
    case Command::Set: return set();
    case Command::Commission: return commission();
    case Command::Scan: return scan();
    }
    return int(Status::Usage);
}

int Session::ports() {
    for (const SerialPort::PresentDevice& device : SerialPort::systemDevices()) {
        const std::string name = "COM" + std::to_string(device.portNumber);
        const std::string stable = SerialPort::stableName(device.path);
        Json json;
        json["port"] = name;
        json["device"] = device.path;
        json["by_id"] = stable.empty() ? Json(nullptr) : Json(stable);
        result(json, name + "\t" + device.path + (stable.empty() ? "" : "\t" + stable));
    }
    return 0;
}

int Session::detect() {
    DeviceIdentity identity;
    const Status status = device_.detect(identity);
    if (status == Status::Refused) {
        fail(status);
        std::fprintf(err_, "Only replies that do not check came: several transmitters may be answering at once. "
                           "On a line with more than one transmitter, use scan.\n");
        return int(status);
    }
    if (status != Status::Ok) return fail(status);
    Json json = describe(identity);
    std::string text = place() + ": " + dialectName(identity.dialect) + " dialect, " + std::to_string(identity.baud) +
                       " bit/s, address " + std::to_string(identity.address);
    if (identity.dialect == Dialect::Modbus) {
        static constexpr const char* kParity[] = {"none", "odd", "even"};
        const char* parity = identity.parityCode < 3 ? kParity[identity.parityCode] : "invalid";
        json["parity"] = parity;
        json["stop_bits_ok"] = identity.stopBitsOk;
        text += std::string(", parity ") + parity;
        if (!identity.stopBitsOk) text += ", stop bits abnormal: set the address or baud rate again";
    }
    result(json, text);
    return 0;
}

int Session::read() {
    DeviceIdentity identity;
    Status status = establish(identity);
    if (status != Status::Ok) return fail(status);
    Measurement measurement;
    status = device_.readMeasurement(identity, measurement);
    if (status != Status::Ok) return fail(status);
    Json json = describe(identity);
    json["velocity"] = velocityOf(measurement);
    json["volume"] = floatJson(measurement.volume);
    result(json, std::string(measurementText(measurement).velocity) + " m/s\t" + floatText(measurement.volume) +
                     " m3/h");
    return 0;
}

int Session::get() {
    DeviceIdentity identity;
    Status status = establish(identity);
    if (status != Status::Ok) return fail(status);
    Json json = describe(identity);
    switch (options_.field) {
    case Field::Address:
    case Field::Baud:
        status = device_.queryIdentity(identity);
        if (status != Status::Ok) return fail(status);
        json = describe(identity);
        if (options_.field == Field::Address)
            result(json, std::to_string(identity.address));
        else
            result(json, std::to_string(identity.baud));
        return 0;
    case Field::Area: {
        std::uint16_t area = 0;
        status = device_.readArea(identity, area);
        if (status != Status::Ok) return fail(status);
        json["area"] = area;
        result(json, std::to_string(area) + " cm2");
        return 0;
    }
    }
    return int(Status::Usage);
}

int Session::set() {
    DeviceIdentity identity;
    Status status = establish(identity);
    if (status != Status::Ok) return fail(status);
    // The dialect may only be known now: check what depends on it before sending.
    if (options_.field == Field::Area && identity.dialect == Dialect::Modbus)
        return failWith(Status::Usage, place() + ": " + kNoModbusArea + "; nothing was sent");
    if (options_.field == Field::Baud && !baudAllowed(identity.dialect, std::int32_t(options_.value)))
        return failWith(Status::Usage, place() + ": " + std::to_string(options_.value) + " bit/s is not a rate of the " +
                                           dialectName(identity.dialect) + " dialect; nothing was sent");
    Json json = Json::object();
    std::string text;
    switch (options_.field) {
    case Field::Address:
        status = device_.setAddress(identity, std::uint8_t(options_.value));
        text = "address " + std::to_string(identity.address);
        break;
    case Field::Baud:
        status = device_.setBaud(identity, std::int32_t(options_.value));
        text = "baud " + std::to_string(identity.baud);
        break;
    case Field::Area:
        status = device_.setArea(identity, std::uint16_t(options_.value));
        json["area"] = options_.value;
        text = "area " + std::to_string(options_.value) + " cm2";
        break;
    }
    if (status != Status::Ok) return fail(status);
    Json full = describe(identity);
    full.update(json);
    result(full, place() + ": " + text + ", verified");
    return 0;
}

Status Session::probeRound(DeviceIdentity& identity) {
    if (!options_.baud) return device_.detect(identity);
    identity.dialect = *options_.dialect;
    identity.baud = *options_.baud;
    identity.address = 0;
    return device_.attach(identity, true);
}

bool Session::waitForTransmitter(DeviceIdentity& identity, Status& status) {
    bool told = false;
    for (;;) {
        status = probeRound(identity);
        if (status == Status::Ok || status == Status::OpenFailed) return status == Status::Ok;
        if (stopRequested()) return false;
        if (!told) {
            std::fprintf(err_, "waiting for a transmitter on %s...\n", place().c_str());
            told = true;
        }
        // A round that got nothing took its timeouts; one with garbage may not have.
        if (status != Status::NoAnswer && waitForStop(std::chrono::milliseconds(200))) return false;
    }
}

bool Session::waitForUnplug(const DeviceIdentity& commissioned) {
    std::fprintf(err_, "done: unplug the transmitter to go on\n");
    for (;;) {
        if (stopRequested()) return false;
        // First where the transmitter now talks, then a whole detection round.
        DeviceIdentity probe = commissioned;
        Status status = Status::NoAnswer;
        if (line_.reopen(std::uint32_t(commissioned.baud))) status = device_.queryIdentity(probe);
        if (status == Status::NoAnswer) {
            status = probeRound(probe);
            if (status == Status::NoAnswer) return !stopRequested();
        }
        if (status != Status::Ok && waitForStop(std::chrono::milliseconds(200))) return false;
    }
}

int Session::commission() {
    std::FILE* log = nullptr;
    if (!options_.logPath.empty() && !openAppend(options_.logPath, kLogHeader, log)) return int(Status::Usage);
    installStopHandlers();

    unsigned done = 0;
    int address = options_.firstAddress;
    int exitStatus = 0;
    while (done < options_.transmitters && !stopRequested()) {
        DeviceIdentity identity;
        Status status;
        if (!waitForTransmitter(identity, status)) {
            if (status == Status::OpenFailed && !stopRequested()) exitStatus = fail(status);
            break;
        }
        const DeviceIdentity old = identity;
        std::string outcome = "ok";
        status = device_.setAddress(identity, std::uint8_t(address));
        if (status == Status::Ok && options_.newBaud) status = device_.setBaud(identity, *options_.newBaud);
        std::uint16_t area = 0;
        bool haveArea = false;
        if (status == Status::Ok && options_.newArea) {
            if (identity.dialect == Dialect::Modbus)
                outcome = std::string("ok; area not set: ") + kNoModbusArea;
            else
                status = device_.setArea(identity, *options_.newArea);
        }
        Measurement measurement;
        bool haveMeasurement = false;
        if (status == Status::Ok) status = device_.queryIdentity(identity);
        if (status == Status::Ok && identity.dialect == Dialect::Fd) {
            status = device_.readArea(identity, area);
            haveArea = status == Status::Ok;
        }
        if (status == Status::Ok) {
            status = device_.readMeasurement(identity, measurement);
            haveMeasurement = status == Status::Ok;
        }
        if (status != Status::Ok) outcome = std::string("failed: ") + device_.why();

        const std::string time = isoTime(SystemClock::now());
        Json json = describe(identity);
        json["time"] = time;
        json["old_address"] = old.address;
        json["old_baud"] = old.baud;
        json["area"] = haveArea ? Json(area) : Json(nullptr);
        json["velocity"] = haveMeasurement ? Json(velocityOf(measurement)) : Json(nullptr);
        json["volume"] = haveMeasurement ? floatJson(measurement.volume) : Json(nullptr);
        json["result"] = outcome;
        if (log != nullptr) {
            const std::string row = csvRow({time, line_.portName(), line_.devicePath(), dialectName(identity.dialect),
                                            std::to_string(old.address), std::to_string(identity.address),
                                            std::to_string(old.baud), std::to_string(identity.baud),
                                            haveArea ? std::to_string(area) : "",
                                            haveMeasurement ? measurementText(measurement).velocity : "",
                                            haveMeasurement ? floatText(measurement.volume) : "", outcome});
            // One write a row, synced before the next transmitter: a kill
            // leaves every finished row whole.
            std::fprintf(log, "%s\n", row.c_str());
            if (!syncFile(log)) std::fprintf(err_, "ventora-cli: cannot write %s\n", options_.logPath.c_str());
        }
        std::string text = "#";
        text += std::to_string(done + 1) + " " + place() + ": address " + std::to_string(old.address) + " -> " +
                std::to_string(identity.address) + ", " + std::to_string(old.baud) + " -> " +
                std::to_string(identity.baud) + " bit/s";
        if (haveArea) text += ", area " + std::to_string(area) + " cm2";
        if (haveMeasurement)
            text += std::string(", ") + measurementText(measurement).velocity + " m/s, " +
                    floatText(measurement.volume) + " m3/h";
        result(json, text + ": " + outcome);

        ++done;
        // A transmitter that failed leaves its address for the next one.
        if (status == Status::Ok) ++address;
        if (done == options_.transmitters || address > 255) break;
        if (!waitForUnplug(identity)) break;
    }
    if (log != nullptr) std::fclose(log);
    std::fprintf(err_, "%u transmitter%s commissioned\n", done, done == 1 ? "" : "s");
    return exitStatus;
}

int runCommand(const Options& options, Port& port, std::FILE* out, std::FILE* err) {
    Session session(options, port, out, err);
    return session.run();
}
