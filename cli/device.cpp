#include "cli/device.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "cli/platform.h"

namespace {

// Detection's attempts as the command-line tool makes them: the window's plan, then the further ones.
constexpr std::span<const DetectionAttempt> kPlanParts[] = {kDetectionPlan, kFurtherModbusAttempts};

const char* dialectLabel(Dialect dialect) { return dialect == Dialect::Fd ? "FD" : "Modbus"; }

// "2400, 4800 or 9600": the rates a transmitter of the dialect may be given, rising.
std::string settableRates(Dialect dialect) {
    std::vector<std::int32_t> rates;
    for (const std::span<const DetectionAttempt> part : kPlanParts)
        for (const DetectionAttempt& attempt : part)
            if (attempt.dialect == dialect) rates.push_back(attempt.baud);
    std::sort(rates.begin(), rates.end());
    std::string text;
    for (std::size_t i = 0; i < rates.size(); ++i)
        text += (i == 0 ? "" : i + 1 == rates.size() ? " or " : ", ") + std::to_string(rates[i]);
    return text;
}

// "FD at 2400, 4800 and 9600 bit/s, then Modbus at 9600 bit/s": attempts in
// the order made, a dialect's run of rates together.
void describeAttempts(std::span<const DetectionAttempt> tried, char* out, std::size_t size) {
    std::size_t used = 0;
    out[0] = '\0';
    for (std::size_t i = 0; i < tried.size(); ++i) {
        const bool first = i == 0 || tried[i - 1].dialect != tried[i].dialect;
        const bool last = i + 1 == tried.size() || tried[i + 1].dialect != tried[i].dialect;
        const char* lead = first ? (i == 0 ? "" : ", then ") : last ? " and " : ", ";
        const int n =
            std::snprintf(out + used, size - used, "%s%s%s%d%s", lead, first ? dialectLabel(tried[i].dialect) : "",
                          first ? " at " : "", int(tried[i].baud), last ? " bit/s" : "");
        if (n > 0) used = std::min(size - 1, used + std::size_t(n));
    }
}

} // namespace

const char* dialectName(Dialect dialect) { return dialect == Dialect::Fd ? "fd" : "modbus"; }

std::string rateRefusal(std::optional<Dialect> dialect, std::int32_t baud) {
    if (dialect ? baudSettable(*dialect, baud) : baudSettable(Dialect::Fd, baud) || baudSettable(Dialect::Modbus, baud))
        return "";
    const std::string fd = settableRates(Dialect::Fd), modbus = settableRates(Dialect::Modbus);
    std::string text = "baud rate " + std::to_string(baud) + " cannot be set: ";
    if (dialect == Dialect::Fd) return text + "the FD dialect has only " + fd;
    // A Modbus transmitter could run at more rates, but detection looks for it only at these.
    const char* found = ", the rates where detection finds a transmitter again";
    if (dialect == Dialect::Modbus) return text + "Modbus transmitters are given " + modbus + found;
    if (fd == modbus) return text + "FD and Modbus transmitters are given " + fd + found;
    return text + "FD transmitters are given " + fd + ", Modbus transmitters " + modbus + found;
}

const char* baudTakesEffect(const Device& device) {
    return device.baudTakenNow() ? "answers at the new rate now" : "takes effect when the transmitter restarts";
}

Status Device::refuse(const char* why) {
    why_ = why;
    return Status::Refused;
}

Status Device::refuseAs(Status status, const std::string& why) {
    std::snprintf(whyText_, sizeof whyText_, "%s", why.c_str());
    why_ = whyText_;
    return status;
}

Status Device::modbusHasNoArea() {
    why_ = kNoModbusArea;
    return Status::Usage;
}

Status Device::exchange(std::uint16_t length) {
    reply_ = link_.exchange(frame_, length);
    switch (reply_.status) {
    case ReplyStatus::Ok: return Status::Ok;
    case ReplyStatus::Exception:
        // A Modbus exception carries its code in byte 2; the FD form in byte 4.
        std::snprintf(whyText_, sizeof whyText_, "the transmitter refused the request (exception code %u)",
                      unsigned(reply_.frame[reply_.length == 5 ? 2 : 4]));
        return refuse(whyText_);
    case ReplyStatus::Invalid:
        if (reply_.otherAddress != 0)
            std::snprintf(whyText_, sizeof whyText_, "reply from address %u", unsigned(reply_.otherAddress));
        else
            std::snprintf(whyText_, sizeof whyText_, "invalid reply: %s", reply_.why);
        return refuse(whyText_);
    case ReplyStatus::DeviceGone:
        // A dropped connection to a device server is the port failing, not the transmitter.
        if (link_.connectionLost()) {
            why_ = "the connection to the device server was lost";
            return Status::OpenFailed;
        }
        why_ = "the device hung up";
        return Status::NoAnswer;
    case ReplyStatus::NoReply:
        if (*reply_.why != '\0') {
            why_ = reply_.why;
            return Status::NoAnswer;
        }
        if (reply_.echoOnly) {
            why_ = kEchoOnly;
            return Status::NoAnswer;
        }
        break;
    }
    std::snprintf(whyText_, sizeof whyText_, "no reply within %lld ms at %u bit/s",
                  static_cast<long long>(link_.timeout().count()), unsigned(link_.baud()));
    why_ = whyText_;
    return Status::NoAnswer;
}

Status Device::queryIdentity(DeviceIdentity& identity) {
    const Status status = exchange(buildIdentityQuery(frame_, identity.dialect));
    if (status != Status::Ok) return status;
    Identity parsed;
    if (!parseIdentityReply(reply_.frame, reply_.length, identity.dialect, parsed))
        return refuse("invalid identity reply");
    identity.address = parsed.address;
    identity.baud = parsed.baud != 0 ? parsed.baud : std::int32_t(link_.baud());
    if (identity.dialect == Dialect::Modbus) {
        identity.parityCode = parsed.parityCode;
        identity.stopBitsOk = parsed.stopCheckA == 0 && parsed.stopCheckB == 0;
    }
    return Status::Ok;
}

Status Device::detect(DeviceIdentity& found) {
    if (fixedRate_) return detectAtFixedRate(found);
    Status worst = Status::NoAnswer;
    char refusedWhy[sizeof whyText_] = "";
    triedCount_ = 0;
    for (const std::span<const DetectionAttempt> part : kPlanParts) {
        for (const DetectionAttempt& attempt : part) {
            if (stopRequested()) return detectionFailed(Status::Interrupted, "");
            char trying[64];
            std::snprintf(trying, sizeof trying, "trying the %s dialect at %d bit/s", dialectName(attempt.dialect),
                          int(attempt.baud));
            link_.note(trying);
            if (!link_.reopen(std::uint32_t(attempt.baud))) {
                why_ = "the port could not be opened";
                return Status::OpenFailed;
            }
            tried_[triedCount_++] = attempt;
            DeviceIdentity identity;
            identity.dialect = attempt.dialect;
            const Status status = queryIdentity(identity);
            if (status == Status::Ok || status == Status::OpenFailed) {
                if (status == Status::Ok) found = identity;
                return status;
            }
            if (status == Status::Refused) {
                worst = Status::Refused;
                std::snprintf(refusedWhy, sizeof refusedWhy, "%s", why_);
            }
        }
    }
    return detectionFailed(stopRequested() ? Status::Interrupted : worst, refusedWhy);
}

Status Device::detectionFailed(Status worst, const char* refusedWhy) {
    char tried[sizeof whyText_ - 96];
    describeAttempts(std::span(tried_, triedCount_), tried, sizeof tried);
    if (worst == Status::Interrupted)
        std::snprintf(whyText_, sizeof whyText_, "interrupted%s%s", triedCount_ == 0 ? "" : " after trying ", tried);
    else if (worst == Status::Refused)
        std::snprintf(whyText_, sizeof whyText_, "%s", refusedWhy);
    else if (link_.echo() == EchoKnowledge::Echoes)
        std::snprintf(whyText_, sizeof whyText_,
                      "the adapter echoes what is sent; no transmitter answered after it (tried %s)", tried);
    else
        std::snprintf(whyText_, sizeof whyText_, "no transmitter answered (tried %s)", tried);
    why_ = whyText_;
    return worst;
}

Status Device::attach(DeviceIdentity& identity, bool learnAddress) {
    if (!link_.reopen(std::uint32_t(identity.baud))) {
        why_ = "the port could not be opened";
        return Status::OpenFailed;
    }
    if (!learnAddress) return Status::Ok;
    DeviceIdentity learned = identity;
    const Status status = queryIdentity(learned);
    if (status == Status::Ok) identity.address = learned.address;
    return status;
}

Status Device::readMeasurement(const DeviceIdentity& identity, Measurement& out) {
    const std::uint8_t address = registerAddress(identity.dialect, identity.address);
    const Status status = exchange(buildReadMeasurement(frame_, address));
    if (status != Status::Ok) return status;
    return parseMeasurement(reply_.frame, reply_.length, address, out) ? Status::Ok
                                                                       : refuse("invalid measurement reply");
}

Status Device::readArea(const DeviceIdentity& identity, std::uint16_t& area) {
    if (identity.dialect == Dialect::Modbus) return modbusHasNoArea();
    const std::uint8_t address = registerAddress(identity.dialect, identity.address);
    const Status status = exchange(buildReadArea(frame_, address));
    if (status != Status::Ok) return status;
    return parseArea(reply_.frame, reply_.length, address, area) ? Status::Ok : refuse("invalid area reply");
}

Status Device::learnEcho(const DeviceIdentity& identity) {
    if (link_.echo() != EchoKnowledge::Unknown) return Status::Ok;
    Measurement unused;
    const Status status = readMeasurement(identity, unused);
    // Only a port that failed stops the write; the read was for its bytes, not its verdict.
    return status == Status::OpenFailed || reply_.status == ReplyStatus::DeviceGone ? status : Status::Ok;
}

Status Device::writeIdentity(const DeviceIdentity& identity, IdentityField field, Identity wanted) {
    const Dialect dialect = identity.dialect;
    Status status = learnEcho(identity);
    if (status != Status::Ok) return status;
    status = exchange(buildIdentityWrite(frame_, dialect, field, wanted));
    if (status != Status::Ok) return status;
    return acceptIdentityWrite(reply_.frame, reply_.length, dialect, wanted) ? Status::Ok
                                                                             : refuse("invalid acknowledgement");
}

Status Device::checkAlone() {
    Status status = exchange(buildIdentityQuery(frame_, Dialect::Fd));
    if (status == Status::Ok && !link_.quietUntilTimeout()) status = Status::Refused;
    if (status != Status::Refused) return status;
    return refuse("more than one transmitter answered the identity query, or its reply was garbled: an address or "
                  "baud write carries no address and would reach every transmitter on the line; connect the "
                  "transmitter alone");
}

Status Device::setAddress(DeviceIdentity& identity, std::uint8_t address) {
    if (identity.dialect == Dialect::Fd)
        if (const Status status = checkAlone(); status != Status::Ok) return status;
    Status status = writeIdentity(identity, IdentityField::Address, Identity{address, identity.baud});
    if (status != Status::Ok) return status;
    DeviceIdentity readBack = identity;
    status = queryIdentity(readBack);
    if (status != Status::Ok) return status;
    identity.address = readBack.address;
    if (readBack.address != address) {
        std::snprintf(whyText_, sizeof whyText_, "address read back as %u, not %u", unsigned(readBack.address),
                      unsigned(address));
        return refuse(whyText_);
    }
    return Status::Ok;
}

Status Device::setBaud(DeviceIdentity& identity, std::int32_t baud) {
    baudNow_ = true;
    if (const std::string refusal = rateRefusal(identity.dialect, baud); !refusal.empty())
        return refuseAs(Status::Usage, refusal + "; nothing was sent");
    if (identity.dialect == Dialect::Fd)
        if (const Status status = checkAlone(); status != Status::Ok) return status;
    if (identity.dialect == Dialect::Modbus) {
        // The identity write carries the address too: learn it first, or the
        // transmitter would take whatever address was assumed.
        const Status status = queryIdentity(identity);
        if (status != Status::Ok) return status;
    }
    const Status written = writeIdentity(identity, IdentityField::Baud, Identity{identity.address, baud});
    // An acknowledgement lost on the way (a slow or busy line, a device server
    // under load) says nothing of the write: the transmitter may already be at
    // the new rate, and is looked for there before the write counts as failed.
    const bool ackLost = written == Status::NoAnswer && reply_.status == ReplyStatus::NoReply && !fixedRate_;
    if (written != Status::Ok && !ackLost) return written;
    char lostWhy[sizeof whyText_];
    std::snprintf(lostWhy, sizeof lostWhy, "%s", why_);
    const DeviceIdentity before = identity;
    const Status status =
        identity.dialect == Dialect::Modbus ? verifyModbusBaud(identity, baud) : verifyFdBaud(identity, baud);
    if (!ackLost || status == Status::Ok) return status;
    identity = before;
    return refuseAs(written, lostWhy);
}

// The transmitter answers at the old rate and listens at the new one after.
Status Device::verifyFdBaud(DeviceIdentity& identity, std::int32_t baud) {
    if (fixedRate_) {
        // Acknowledged at the old rate; the new one is out of the server's reach.
        identity.baud = baud;
        return Status::Ok;
    }
    if (!link_.reopen(std::uint32_t(baud))) {
        why_ = "the port could not be reopened at the new rate";
        return Status::OpenFailed;
    }
    identity.baud = baud;
    DeviceIdentity readBack = identity;
    const Status status = queryIdentity(readBack);
    if (status != Status::Ok) return status;
    return checkBaudReadBack(readBack, baud);
}

Status Device::verifyModbusBaud(DeviceIdentity& identity, std::int32_t baud) {
    DeviceIdentity readBack = identity;
    Status status = queryIdentity(readBack);
    baudNow_ = false;
    if (status == Status::NoAnswer && reply_.status == ReplyStatus::NoReply) {
        if (!link_.reopen(std::uint32_t(baud))) {
            why_ = "the port could not be reopened at the new rate";
            return Status::OpenFailed;
        }
        baudNow_ = true;
        status = queryIdentity(readBack);
    }
    if (status != Status::Ok) return status;
    identity.baud = readBack.baud;
    return checkBaudReadBack(readBack, baud);
}

Status Device::checkBaudReadBack(const DeviceIdentity& readBack, std::int32_t baud) {
    if (readBack.baud == baud) return Status::Ok;
    std::snprintf(whyText_, sizeof whyText_, "baud rate read back as %d, not %d", int(readBack.baud), int(baud));
    return refuse(whyText_);
}

Status Device::setArea(const DeviceIdentity& identity, std::uint16_t area) {
    if (identity.dialect == Dialect::Modbus) return modbusHasNoArea();
    const std::uint8_t address = registerAddress(identity.dialect, identity.address);
    Status status = learnEcho(identity);
    if (status == Status::Ok) status = exchange(buildWriteArea(frame_, address, area));
    if (status != Status::Ok) return status;
    if (!checkRegisterWrite(reply_.frame, reply_.length, address)) return refuse("invalid acknowledgement");
    std::uint16_t readBack = 0;
    status = readArea(identity, readBack);
    if (status != Status::Ok) return status;
    if (readBack != area) {
        std::snprintf(whyText_, sizeof whyText_, "area read back as %u, not %u", unsigned(readBack), unsigned(area));
        return refuse(whyText_);
    }
    return Status::Ok;
}

Status Device::detectAtFixedRate(DeviceIdentity& found) {
    if (!link_.reopen(fixedBaud_)) {
        why_ = "the port could not be opened";
        return Status::OpenFailed;
    }
    Status worst = Status::NoAnswer;
    for (const Dialect dialect : {Dialect::Fd, Dialect::Modbus}) {
        if (dialect == Dialect::Fd && modbusOnly_) continue;
        if (stopRequested()) return refuseAs(Status::Interrupted, "interrupted");
        DeviceIdentity identity;
        identity.dialect = dialect;
        const Status status = queryIdentity(identity);
        if (status == Status::Ok) found = identity;
        if (status == Status::Ok || status == Status::OpenFailed) return status;
        // The first refusal is what the user sees, as at changing rates.
        if (status == Status::Refused && worst != Status::Refused) {
            worst = Status::Refused;
            std::snprintf(whyText_, sizeof whyText_, "%s", why_);
        }
    }
    if (stopRequested()) return refuseAs(Status::Interrupted, "interrupted");
    if (worst == Status::Refused) {
        why_ = whyText_;
    } else if (*reply_.why == '\0') {
        why_ = modbusOnly_ ? "no transmitter answered in the Modbus dialect at the device server's rate"
                           : "no transmitter answered in either dialect at the device server's rate";
    }
    return worst;
}
