#include "protocol/echo.h"

EchoCheck checkEcho(const std::uint8_t* request, std::uint16_t length, const std::uint8_t* bytes, std::uint16_t count) {
    const std::uint16_t compared = count < length ? count : length;
    for (std::uint16_t i = 0; i < compared; ++i)
        if (bytes[i] != request[i]) return EchoCheck::Absent;
    return count >= length && length > 0 ? EchoCheck::Copy : EchoCheck::Prefix;
}

std::uint16_t echoOffset(EchoKnowledge& knowledge, const std::uint8_t* request, std::uint16_t length,
                         const std::uint8_t* bytes, std::uint16_t count) {
    if (knowledge == EchoKnowledge::Plain) return 0;
    const EchoCheck check = checkEcho(request, length, bytes, count);
    if (knowledge == EchoKnowledge::Unknown && check != EchoCheck::Prefix)
        knowledge = check == EchoCheck::Copy ? EchoKnowledge::Echoes : EchoKnowledge::Plain;
    return check == EchoCheck::Copy ? length : 0;
}
