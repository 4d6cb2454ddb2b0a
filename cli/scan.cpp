// scan: every transmitter that answers on a line, probed address by address
// with the measurement read, which carries the address.

#include <string>

#include "cli/platform.h"
#include "cli/session.h"

namespace {

using Clock = std::chrono::steady_clock;

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

} // namespace

int Session::scan() {
    installStopHandlers();
    const bool progress = isTerminal(err_);
    std::vector<std::int32_t> rates{9600, 4800, 2400};
    if (options_.baud) rates = {*options_.baud};

    const auto started = Clock::now();
    unsigned found = 0, invalid = 0;
    std::int32_t foundAt = 0;
    for (const std::int32_t baud : rates) {
        if (!line_.reopen(std::uint32_t(baud))) return fail(Status::OpenFailed);
        for (unsigned address = options_.scanFrom; address <= options_.scanTo && !stopRequested(); ++address) {
            if (progress) std::fprintf(err_, "\r\x1b[Kprobing address %u at %d bit/s", address, int(baud));
            DeviceIdentity identity{Dialect::Fd, baud, std::uint8_t(address)};
            Measurement measurement;
            const Status status = device_.readMeasurement(identity, measurement);
            if (status == Status::OpenFailed) return fail(status);
            const Reply& reply = line_.lastReply();
            // A slow transmitter's reply that lands in the next address's wait
            // belongs to neither: it is not this address's answer.
            if (status == Status::NoAnswer || (reply.status == ReplyStatus::Invalid && reply.otherAddress != 0)) {
                if (reply.otherAddress != 0 && progress) std::fputs("\r\x1b[K", err_);
                if (reply.otherAddress != 0)
                    std::fprintf(err_, "a late reply from address %u came while probing %u: raise -t\n",
                                 unsigned(reply.otherAddress), address);
                continue;
            }
            if (progress) std::fputs("\r\x1b[K", err_);
            Json json = where();
            json["address"] = address;
            json["baud"] = baud;
            if (status != Status::Ok) {
                ++invalid;
                json["result"] = "invalid reply";
                const char* reason = reply.status == ReplyStatus::Invalid ? reply.why : device_.why();
                result(json, std::to_string(address) + "\t" + std::to_string(baud) +
                                 " bit/s\tinvalid reply: two transmitters may share this address (" + reason + ")");
                continue;
            }
            ++found;
            if (address == kModbusAddress && modbusAt255(device_, identity)) json["address"] = identity.address;
            json["result"] = "ok";
            json["dialect"] = dialectName(identity.dialect);
            json["velocity"] = velocityOf(measurement);
            json["volume"] = floatJson(measurement.volume);
            std::string text = std::to_string(address) + "\t" + std::to_string(baud) + " bit/s\t" +
                               dialectName(identity.dialect) + "\t" + measurementText(measurement).velocity +
                               " m/s\t" + floatText(measurement.volume) + " m3/h";
            if (identity.dialect == Dialect::Modbus)
                text += "\tModbus-dialect transmitter (its own address: " + std::to_string(identity.address) + ")";
            result(json, text);
        }
        if (found + invalid > 0) {
            foundAt = baud;
            break;
        }
        if (stopRequested()) break;
    }
    if (progress) std::fputs("\r\x1b[K", err_);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::fprintf(err_, "%u transmitter%s found", found, found == 1 ? "" : "s");
    if (invalid > 0) std::fprintf(err_, ", %u address%s with invalid replies", invalid, invalid == 1 ? "" : "es");
    if (foundAt != 0) std::fprintf(err_, " at %d bit/s", int(foundAt));
    std::fprintf(err_, " in %.1f s\n", seconds);
    if (found > 0) return 0;
    return int(invalid > 0 ? Status::Refused : Status::NoAnswer);
}
