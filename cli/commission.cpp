// commission: transmitters plugged in one after another, each given the next
// address, the baud rate and area asked for, and a row in the log.

#include "cli/commission.h"

#include <chrono>
#include <string>

#include "cli/command_list.h"
#include "cli/platform.h"

namespace {

Status probeRound(Session& session, DeviceIdentity& identity) {
    const Options& options = session.options;
    if (!options.baud) return session.device.detect(identity);
    identity.dialect = *options.dialect;
    identity.baud = *options.baud;
    identity.address = 0;
    return session.device.attach(identity, true);
}

// A port that was open and went (an adapter unplugged or reset, a device
// server's connection dropped): tried again by name about once a second
// until it opens. False when stopped first.
bool waitForPort(Session& session) {
    std::fprintf(session.report.err(), "waiting for %s to come back...\n", session.report.place().c_str());
    session.link.close();
    for (;;) {
        if (waitForStop(kReopenPeriod)) return false;
        if (session.link.reopen(session.link.baud())) break;
    }
    std::fprintf(session.report.err(), "%s is back\n", session.report.place().c_str());
    return true;
}

// Detection rounds until a transmitter answers; false when stopped or the
// port would not open at the start (status says which).
bool waitForTransmitter(Session& session, DeviceIdentity& identity, Status& status, bool& portSeen) {
    bool told = false;
    for (;;) {
        status = probeRound(session, identity);
        if (status == Status::OpenFailed) {
            if (!portSeen || !waitForPort(session)) return false;
            continue;
        }
        portSeen = true;
        if (status == Status::Ok) return true;
        if (stopRequested()) return false;
        if (!told) {
            std::fprintf(session.report.err(), "waiting for a transmitter on %s...\n", session.report.place().c_str());
            told = true;
        }
        // A round that got nothing took its timeouts; one with garbage may not have.
        if (status != Status::NoAnswer && waitForStop(std::chrono::milliseconds(200))) return false;
    }
}

// How often a transmitter that still answers is asked again: the line stays
// free, and an unplug shows within a fraction of a second.
constexpr std::chrono::milliseconds kUnplugPoll{200};

// Waits until the transmitter just commissioned has gone: a whole detection
// round gets no answer, something answers at another address or rate, or the
// port went and came back (another adapter, another transmitter). False when
// stopped.
bool waitForUnplug(Session& session, const DeviceIdentity& commissioned) {
    std::fprintf(session.report.err(), "done: unplug the transmitter to go on\n");
    for (;;) {
        if (stopRequested()) return false;
        // First where the transmitter now talks, then a whole detection round.
        DeviceIdentity probe = commissioned;
        Status status = Status::OpenFailed;
        if (session.link.reopen(std::uint32_t(commissioned.baud))) status = session.device.queryIdentity(probe);
        if (status == Status::NoAnswer) status = probeRound(session, probe);
        if (status == Status::OpenFailed) return waitForPort(session);
        if (status == Status::NoAnswer) return !stopRequested();
        const bool same = probe.address == commissioned.address && probe.baud == commissioned.baud &&
                          probe.dialect == commissioned.dialect;
        if (status == Status::Ok && !same) return true;
        if (waitForStop(kUnplugPoll)) return false;
    }
}

// Gives the transmitter found address, then the baud rate and area asked
// for, and reads back what it now says of itself. The first failure ends it.
Commissioned commissionOne(Session& session, const DeviceIdentity& found, int address) {
    const Options& options = session.options;
    Device& device = session.device;
    Commissioned done;
    done.old = done.identity = found;
    Status& status = done.status;
    // A rate this transmitter's dialect cannot take is refused before its first write.
    if (options.newBaud)
        if (const std::string refusal = rateRefusal(found.dialect, *options.newBaud); !refusal.empty()) {
            status = Status::Usage;
            done.outcome = "failed: " + refusal + "; nothing was sent";
            return done;
        }
    status = device.setAddress(done.identity, std::uint8_t(address));
    if (status == Status::Ok && options.newBaud) {
        status = device.setBaud(done.identity, *options.newBaud);
        if (status == Status::Ok && done.identity.dialect == Dialect::Modbus)
            done.outcome = std::string("ok; ") + baudTakesEffect(device);
        if (status == Status::Ok && device.fixedRate()) {
            const std::string reach =
                "the device server must be set to " + std::to_string(*options.newBaud) + " bit/s to reach it again";
            if (done.identity.dialect == Dialect::Modbus) {
                done.outcome += "; " + reach;
            } else {
                // An FD transmitter listens at the new rate at once: nothing more reaches it here.
                done.outcome = "baud acknowledged; " + reach + (options.newArea ? "; area not set" : "");
                return done;
            }
        }
    }
    if (status == Status::Ok && options.newArea) {
        if (done.identity.dialect == Dialect::Modbus)
            done.outcome += std::string("; area not set: ") + kNoModbusArea;
        else
            status = device.setArea(done.identity, *options.newArea);
    }
    if (status == Status::Ok) status = device.queryIdentity(done.identity);
    if (status == Status::Ok && done.identity.dialect == Dialect::Fd) {
        std::uint16_t area = 0;
        status = device.readArea(done.identity, area);
        if (status == Status::Ok) done.area = area;
    }
    if (status == Status::Ok) {
        Measurement measurement;
        status = device.readMeasurement(done.identity, measurement);
        if (status == Status::Ok) done.measurement = measurement;
    }
    if (status != Status::Ok) done.outcome = std::string("failed: ") + device.why();
    return done;
}

void reportCommissioned(Session& session, const Commissioned& done, unsigned number, std::FILE* log) {
    const Report& report = session.report;
    const std::string time = isoTime(std::chrono::system_clock::now());
    Json json = report.describe(done.identity);
    json["time"] = time;
    json["old_address"] = done.old.address;
    json["old_baud"] = done.old.baud;
    json["area"] = done.area ? Json(*done.area) : Json(nullptr);
    json["velocity"] = done.measurement ? Json(velocityOf(*done.measurement)) : Json(nullptr);
    json["volume"] = done.measurement ? floatJson(done.measurement->volume) : Json(nullptr);
    json["result"] = done.outcome;
    if (log != nullptr) {
        // One write a row, synced before the next transmitter: a kill
        // leaves every finished row whole.
        const std::string row = commissionLogRow(done, time, session.link.portName(), session.link.devicePath());
        std::fprintf(log, "%s\n", row.c_str());
        if (!syncFile(log)) report.complain("cannot write " + session.options.logPath);
    }
    report.result(json, commissionText(done, number, report.place()));
}

} // namespace

std::string commissionLogRow(const Commissioned& done, const std::string& time, const std::string& port,
                             const std::string& device) {
    const Measurement* measurement = done.measurement ? &*done.measurement : nullptr;
    return csvRow({time, port, device, dialectName(done.identity.dialect), std::to_string(done.old.address),
                   std::to_string(done.identity.address), std::to_string(done.old.baud),
                   std::to_string(done.identity.baud), done.area ? std::to_string(*done.area) : "",
                   measurement != nullptr ? measurementText(*measurement).velocity : "",
                   measurement != nullptr ? floatText(measurement->volume) : "", done.outcome});
}

std::string commissionText(const Commissioned& done, unsigned number, const std::string& place) {
    std::string text = "#" + std::to_string(number) + " " + place + ": address " + std::to_string(done.old.address) +
                       " -> " + std::to_string(done.identity.address) + ", " + std::to_string(done.old.baud) + " -> " +
                       std::to_string(done.identity.baud) + " bit/s";
    if (done.area) text += ", area " + std::to_string(*done.area) + " cm2";
    if (done.measurement)
        text += std::string(", ") + measurementText(*done.measurement).velocity + " m/s, " +
                floatText(done.measurement->volume) + " m3/h";
    return text + ": " + done.outcome;
}

int commissionCommand(Session& session) {
    const Options& options = session.options;
    AppendedFile log;
    if (!options.logPath.empty() && !(log = session.report.openAppend(options.logPath, kCommissionLogHeader)))
        return int(Status::Usage);
    installStopHandlers();

    unsigned count = 0;
    int address = options.firstAddress;
    int exitStatus = 0;
    bool portSeen = false;
    while (count < options.transmitters && !stopRequested()) {
        DeviceIdentity identity;
        Status status;
        if (!waitForTransmitter(session, identity, status, portSeen)) {
            if (status == Status::OpenFailed && !stopRequested()) exitStatus = session.report.fail(status);
            break;
        }
        const Commissioned done = commissionOne(session, identity, address);
        reportCommissioned(session, done, ++count, log.get());
        if (done.status == Status::Usage) {
            exitStatus = int(Status::Usage);
            break;
        }
        // A transmitter that failed leaves its address for the next one.
        if (done.status == Status::Ok) ++address;
        if (count == options.transmitters || address > 255) break;
        if (!waitForUnplug(session, done.identity)) break;
    }
    log.reset();
    const bool interrupted = stopRequested() && exitStatus == 0;
    std::fprintf(session.report.err(), "%s%u transmitter%s commissioned\n", interrupted ? "interrupted: " : "", count,
                 count == 1 ? "" : "s");
    return interrupted ? stopStatus() : exitStatus;
}
