#include "cli/session.h"

#include <cstdio>

Status Session::establish(DeviceIdentity& identity) const {
    if (options.baud && options.dialect) {
        identity.dialect = *options.dialect;
        identity.baud = *options.baud;
        identity.address = options.address.value_or(0);
        return device.attach(identity, !options.address.has_value() && identity.dialect == Dialect::Fd);
    }
    const Status status = device.detect(identity);
    // Whatever answered is not the transmitter -a names: nothing goes to it.
    if (status == Status::Ok && options.address && identity.address != *options.address)
        return device.refuseAs(Status::NoAnswer, "found address " + std::to_string(identity.address) + ", not " +
                                                     std::to_string(*options.address));
    return status;
}
