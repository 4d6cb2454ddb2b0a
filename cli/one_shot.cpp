// The commands that run once and end: ports, detect, read, get and set.

#include <string>

#include "cli/command_list.h"
#include "cli/platform.h"
#include "cli/ports.h"
#include "serial/local/serial_port.h"

int portsCommand(Session& session) {
    for (const SerialPort::PresentDevice& device : SerialPort::systemDevices()) {
        const std::string name = "COM" + std::to_string(device.portNumber);
        const std::string stable = SerialPort::stableName(device.path);
        Json json;
        json["port"] = name;
        json["device"] = device.path;
        json["by_id"] = stable.empty() ? Json(nullptr) : Json(stable);
        std::string text = name + "\t" + device.path + (stable.empty() ? "" : "\t" + stable);
        const std::string hint = describeAdapter(device.path, json, text);
        session.report.result(json, text);
        if (!hint.empty())
            std::fprintf(session.report.err(), "ventora-cli: %s (%s): %s\n", name.c_str(), device.path.c_str(),
                         hint.c_str());
    }
    return 0;
}

int detectCommand(Session& session) {
    const Report& report = session.report;
    installStopHandlers();
    DeviceIdentity identity;
    const Status status = session.device.detect(identity);
    if (status == Status::Refused) {
        report.fail(status);
        std::fprintf(report.err(), "Only replies that do not check came: several transmitters may be answering at "
                                   "once. On a line with more than one transmitter, use scan.\n");
        return int(status);
    }
    if (status != Status::Ok) return report.fail(status);
    Json json = report.describe(identity);
    std::string text = report.place() + ": " + dialectName(identity.dialect) + " dialect, " +
                       std::to_string(identity.baud) + " bit/s, address " + std::to_string(identity.address);
    if (identity.dialect == Dialect::Modbus) {
        static constexpr const char* kParity[] = {"none", "odd", "even"};
        const char* parity = identity.parityCode < 3 ? kParity[identity.parityCode] : "invalid";
        json["parity"] = parity;
        json["stop_bits_ok"] = identity.stopBitsOk;
        text += std::string(", parity ") + parity;
        if (!identity.stopBitsOk) text += ", stop bits abnormal: set the address or baud rate again";
    }
    const bool echoes = session.link.echo() == EchoKnowledge::Echoes;
    json["echo"] = echoes;
    if (echoes) text += "; the adapter echoes what is sent";
    if (session.device.fixedRate()) {
        json["rate_is_the_servers"] = true;
        text += "; the serial rate is the device server's own";
    }
    report.result(json, text);
    return 0;
}

int readCommand(Session& session) {
    const Report& report = session.report;
    DeviceIdentity identity;
    Measurement measurement;
    installStopHandlers();
    Status status = session.establish(identity);
    if (status == Status::Ok) status = session.device.readMeasurement(identity, measurement);
    if (status != Status::Ok && stopRequested()) status = session.device.refuseAs(Status::Interrupted, "interrupted");
    if (status != Status::Ok) return report.fail(status);
    Json json = report.describe(identity);
    json["velocity"] = velocityOf(measurement);
    json["volume"] = floatJson(measurement.volume);
    report.result(json, std::string(measurementText(measurement).velocity) + " m/s\t" + floatText(measurement.volume) +
                            " m3/h");
    return 0;
}

int getCommand(Session& session) {
    const Report& report = session.report;
    DeviceIdentity identity;
    Status status = session.establish(identity);
    if (status != Status::Ok) return report.fail(status);
    if (session.options.field == Field::Area) {
        std::uint16_t area = 0;
        status = session.device.readArea(identity, area);
        if (status != Status::Ok) return report.fail(status);
        Json json = report.describe(identity);
        json["area"] = area;
        report.result(json, std::to_string(area) + " cm2");
        return 0;
    }
    status = session.device.queryIdentity(identity);
    if (status != Status::Ok) return report.fail(status);
    const bool address = session.options.field == Field::Address;
    report.result(report.describe(identity),
                  address ? std::to_string(identity.address) : std::to_string(identity.baud) + " bit/s");
    return 0;
}

namespace {

// What set can refuse only once the dialect is known, before anything is sent.
// A rate the dialect cannot take is Device::setBaud's to refuse.
bool refusedBySetting(const Session& session, const DeviceIdentity& identity, std::string& why) {
    if (session.options.field == Field::Area && identity.dialect == Dialect::Modbus)
        why = std::string(kNoModbusArea) + "; nothing was sent";
    return !why.empty();
}

} // namespace

int setCommand(Session& session) {
    const Report& report = session.report;
    const Options& options = session.options;
    DeviceIdentity identity;
    Status status = session.establish(identity);
    if (status != Status::Ok) return report.fail(status);
    if (std::string why; refusedBySetting(session, identity, why))
        return report.failWith(Status::Usage, report.place() + ": " + why);
    Json json = Json::object();
    std::string text;
    std::string note;
    switch (options.field) {
    case Field::Address:
        status = session.device.setAddress(identity, std::uint8_t(options.value));
        text = "address " + std::to_string(identity.address);
        break;
    case Field::Baud:
        status = session.device.setBaud(identity, std::int32_t(options.value));
        text = "baud " + std::to_string(identity.baud);
        if (status == Status::Ok && identity.dialect == Dialect::Modbus)
            note = std::string("; ") + baudTakesEffect(session.device);
        if (status == Status::Ok && session.device.fixedRate())
            note += "; the device server must be set to " + std::to_string(options.value) +
                    " bit/s to reach the transmitter again";
        break;
    case Field::Area:
        status = session.device.setArea(identity, std::uint16_t(options.value));
        json["area"] = options.value;
        text = "area " + std::to_string(options.value) + " cm2";
        break;
    }
    if (status != Status::Ok) return report.fail(status);
    Json full = report.describe(identity);
    full.update(json);
    // An FD rate behind a device server is acknowledged, but cannot be read back.
    const bool unverified =
        session.device.fixedRate() && options.field == Field::Baud && identity.dialect == Dialect::Fd;
    report.result(full, report.place() + ": " + text + (unverified ? ", acknowledged" : ", verified") + note);
    return 0;
}
