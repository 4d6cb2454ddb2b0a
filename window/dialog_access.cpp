#include "window/dialog_access.h"

#include <cstdio>

#include "window/number_text.h"

int DialogAccess::readBoxInt(int controlId) {
    std::int32_t value = 0;
    return parseBoxInt(boxText(controlId), value) ? value : 0;
}

void DialogAccess::writeBoxInt(int controlId, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    setBoxText(controlId, text);
}

void DialogAccess::logLine(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }
