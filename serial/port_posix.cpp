// The failure texts of ports on POSIX systems.

#include "serial/port.h"

#include <cstring>

const char* openFailureHint(OpenFailure cause) {
    return cause == OpenFailure::PermissionDenied
               ? "add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in again"
               : "";
}

std::string osErrorText(unsigned long osError) { return std::strerror(int(osError)); }
