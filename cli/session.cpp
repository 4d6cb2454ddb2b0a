#include "cli/session.h"

Status Session::establish(DeviceIdentity& identity) const {
    if (options.baud && options.dialect) {
        identity.dialect = *options.dialect;
        identity.baud = *options.baud;
        identity.address = options.address.value_or(0);
        return device.attach(identity, !options.address.has_value());
    }
    return device.detect(identity);
}
