#include "protocol/dialect.h"

bool baudAllowed(Dialect dialect, std::int32_t baud) {
    if (dialect == Dialect::Fd) return fdCodeFromBaud(baud) != 0;
    for (std::uint8_t code = 0; baudFromIdentityCode(code) != 0; ++code)
        if (baudFromIdentityCode(code) == baud) return true;
    return false;
}

bool baudSettable(Dialect dialect, std::int32_t baud) {
    for (const DetectionAttempt& attempt : kDetectionPlan)
        if (attempt.dialect == dialect && attempt.baud == baud) return true;
    for (const DetectionAttempt& attempt : kFurtherModbusAttempts)
        if (attempt.dialect == dialect && attempt.baud == baud) return true;
    return false;
}

std::uint8_t registerAddress(Dialect dialect, std::uint8_t deviceAddress) {
    return dialect == Dialect::Modbus ? kModbusAddress : deviceAddress;
}

std::uint16_t buildIdentityQuery(std::uint8_t* out, Dialect dialect) {
    return dialect == Dialect::Modbus ? buildModbusIdentityQuery(out) : buildFdQuery(out);
}

bool parseIdentityReply(const std::uint8_t* reply, std::uint16_t count, Dialect dialect, Identity& out) {
    return dialect == Dialect::Modbus ? parseModbusIdentity(reply, count, out) : parseFdReply(reply, count, out);
}

std::uint16_t buildIdentityWrite(std::uint8_t* out, Dialect dialect, IdentityField field, const Identity& wanted) {
    if (dialect == Dialect::Modbus)
        return buildModbusIdentityWrite(out, wanted.address, identityCodeFromBaud(wanted.baud));
    if (field == IdentityField::Address) return buildFdSetAddress(out, wanted.address);
    return buildFdSetBaud(out, fdCodeFromBaud(wanted.baud));
}

bool acceptIdentityWrite(const std::uint8_t* reply, std::uint16_t count, Dialect dialect, Identity& written) {
    return dialect == Dialect::Modbus ? checkIdentityWriteAck(reply, count) : parseFdReply(reply, count, written);
}
