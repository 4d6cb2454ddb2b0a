// scan: every transmitter that answers on a line, probed address by address
// with the measurement read, which carries the address.

#include <chrono>
#include <string>
#include <vector>

#include "cli/command_list.h"
#include "cli/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ScanTally {
    unsigned found = 0;
    unsigned invalid = 0; // addresses whose replies did not check
};

// A Modbus-dialect transmitter answers only at 255, and so does an FD
// transmitter given that address; the identity block tells them apart.
bool modbusAt255(Device& device, DeviceIdentity& identity) {
    DeviceIdentity probe;
    probe.dialect = Dialect::Modbus;
    probe.baud = identity.baud;
    if (device.queryIdentity(probe) != Status::Ok) return false;
    identity = probe;
    return true;
}

// identity is as probed; at 255 it may turn out a Modbus-dialect transmitter's.
void showFound(Session& session, DeviceIdentity identity, const Measurement& measurement) {
    const unsigned address = identity.address;
    const std::int32_t baud = identity.baud;
    Json json = session.report.where();
    json["address"] = address;
    json["baud"] = baud;
    if (address == kModbusAddress && modbusAt255(session.device, identity)) json["address"] = identity.address;
    json["result"] = "ok";
    json["dialect"] = dialectName(identity.dialect);
    json["velocity"] = velocityOf(measurement);
    json["volume"] = floatJson(measurement.volume);
    std::string text = std::to_string(address) + "\t" + std::to_string(baud) + " bit/s\t" +
                       dialectName(identity.dialect) + "\t" + measurementText(measurement).velocity + " m/s\t" +
                       floatText(measurement.volume) + " m3/h";
    if (identity.dialect == Dialect::Modbus)
        text += "\tModbus-dialect transmitter (its own address: " + std::to_string(identity.address) + ")";
    session.report.result(json, text);
}

void showInvalid(Session& session, const DeviceIdentity& identity, const char* reason) {
    Json json = session.report.where();
    json["address"] = identity.address;
    json["baud"] = identity.baud;
    json["result"] = "invalid reply";
    session.report.result(json, std::to_string(identity.address) + "\t" + std::to_string(identity.baud) +
                                    " bit/s\tinvalid reply: two transmitters may share this address (" + reason + ")");
}

// Probes one address at baud, showing and counting what answered.
// OpenFailed when the port would not serve the probe.
Status probeAddress(Session& session, std::int32_t baud, unsigned address, bool progress, ScanTally& tally) {
    std::FILE* err = session.report.err();
    if (progress) std::fprintf(err, "\r\x1b[Kprobing address %u at %d bit/s", address, int(baud));
    DeviceIdentity identity{Dialect::Fd, baud, std::uint8_t(address)};
    Measurement measurement;
    const Status status = session.device.readMeasurement(identity, measurement);
    if (status == Status::OpenFailed) return status;
    const Reply& reply = session.link.lastReply();
    // A slow transmitter's reply that lands in the next address's wait
    // belongs to neither: it is not this address's answer.
    if (status == Status::NoAnswer || (reply.status == ReplyStatus::Invalid && reply.otherAddress != 0)) {
        if (reply.otherAddress != 0 && progress) std::fputs("\r\x1b[K", err);
        if (reply.otherAddress != 0)
            std::fprintf(err, "a late reply from address %u came while probing %u: raise -t\n",
                         unsigned(reply.otherAddress), address);
        return status;
    }
    if (progress) std::fputs("\r\x1b[K", err);
    if (status != Status::Ok) {
        ++tally.invalid;
        showInvalid(session, identity, reply.status == ReplyStatus::Invalid ? reply.why : session.device.why());
        return status;
    }
    ++tally.found;
    showFound(session, identity, measurement);
    return status;
}

// "interrupted after addresses 1 to 57 at 9600 bit/s": what a stopped scan covered.
std::string coveredText(unsigned from, unsigned lastDone, std::int32_t baud) {
    std::string text = "interrupted ";
    if (lastDone < from) return text + "before any address at " + std::to_string(baud) + " bit/s was probed";
    text += lastDone == from ? "after address " + std::to_string(from)
                             : "after addresses " + std::to_string(from) + " to " + std::to_string(lastDone);
    return text + " at " + std::to_string(baud) + " bit/s";
}

} // namespace

int scanCommand(Session& session) {
    const Options& options = session.options;
    const Report& report = session.report;
    installStopHandlers();
    const bool progress = isTerminal(report.err());
    std::vector<std::int32_t> rates{9600, 4800, 2400};
    if (options.baud) rates = {*options.baud};

    const auto started = Clock::now();
    ScanTally tally;
    std::int32_t foundAt = 0;
    std::string interrupted;
    for (const std::int32_t baud : rates) {
        if (!session.link.reopen(std::uint32_t(baud))) return report.fail(Status::OpenFailed);
        unsigned lastDone = options.scanFrom - 1u;
        for (unsigned address = options.scanFrom; address <= options.scanTo && !stopRequested(); ++address) {
            if (probeAddress(session, baud, address, progress, tally) == Status::OpenFailed)
                return report.fail(Status::OpenFailed);
            // A probe the stop cut short may have missed its reply.
            if (!stopRequested()) lastDone = address;
        }
        if (stopRequested()) interrupted = coveredText(options.scanFrom, lastDone, baud);
        if (tally.found + tally.invalid > 0) {
            foundAt = baud;
            break;
        }
        if (stopRequested()) break;
    }
    if (progress) std::fputs("\r\x1b[K", report.err());
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::FILE* err = report.err();
    if (!interrupted.empty()) std::fprintf(err, "%s: ", interrupted.c_str());
    std::fprintf(err, "%u transmitter%s found", tally.found, tally.found == 1 ? "" : "s");
    if (tally.invalid > 0)
        std::fprintf(err, ", %u address%s with invalid replies", tally.invalid, tally.invalid == 1 ? "" : "es");
    if (foundAt != 0) std::fprintf(err, " at %d bit/s", int(foundAt));
    std::fprintf(err, " in %.1f s\n", seconds);
    if (!interrupted.empty()) return stopStatus();
    if (tally.found > 0) return 0;
    return int(tally.invalid > 0 ? Status::Refused : Status::NoAnswer);
}
