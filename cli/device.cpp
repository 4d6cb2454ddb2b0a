#include "cli/device.h"

#include <cstdio>

const char* dialectName(Dialect dialect) { return dialect == Dialect::Fd ? "fd" : "modbus"; }

const char* baudTakesEffect(const Device& device) {
    return device.baudTakenNow() ? "answers at the new rate now" : "takes effect when the transmitter restarts";
}

Status Device::refuse(const char* why) {
    why_ = why;
    return Status::Refused;
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
    for (const DetectionAttempt& attempt : kDetectionPlan) {
        if (!link_.reopen(std::uint32_t(attempt.baud))) {
            why_ = "the port could not be opened";
            return Status::OpenFailed;
        }
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
    if (worst == Status::Refused) {
        std::snprintf(whyText_, sizeof whyText_, "%s", refusedWhy);
        why_ = whyText_;
    } else if (link_.echo() == EchoKnowledge::Echoes) {
        why_ = "the adapter echoes what is sent; no transmitter answered after it at 2400, 4800 or 9600 bit/s";
    } else {
        why_ = "no transmitter answered at 2400, 4800 or 9600 bit/s";
    }
    return worst;
}

Status Device::attach(DeviceIdentity& identity, bool learnAddress) {
    if (!link_.reopen(std::uint32_t(identity.baud))) {
        why_ = "the port could not be opened";
        return Status::OpenFailed;
    }
    if (identity.dialect == Dialect::Modbus || !learnAddress) return Status::Ok;
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

Status Device::setAddress(DeviceIdentity& identity, std::uint8_t address) {
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
    if (identity.dialect == Dialect::Modbus) {
        // The identity write carries the address too: learn it first, or the
        // transmitter would take whatever address was assumed.
        const Status status = queryIdentity(identity);
        if (status != Status::Ok) return status;
    }
    Status status = writeIdentity(identity, IdentityField::Baud, Identity{identity.address, baud});
    if (status != Status::Ok) return status;
    if (identity.dialect == Dialect::Modbus) return verifyModbusBaud(identity, baud);
    if (fixedRate_) {
        // Acknowledged at the old rate; the new one is out of the server's reach.
        identity.baud = baud;
        return Status::Ok;
    }
    // The transmitter answers at the old rate and listens at the new one after.
    if (!link_.reopen(std::uint32_t(baud))) {
        why_ = "the port could not be reopened at the new rate";
        return Status::OpenFailed;
    }
    identity.baud = baud;
    DeviceIdentity readBack = identity;
    status = queryIdentity(readBack);
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
    if (worst == Status::Refused) {
        why_ = whyText_;
    } else if (*reply_.why == '\0') {
        why_ = modbusOnly_ ? "no transmitter answered in the Modbus dialect at the device server's rate"
                           : "no transmitter answered in either dialect at the device server's rate";
    }
    return worst;
}
