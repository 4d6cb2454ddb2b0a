#include "window/number_text.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Skips leading white space and one optional sign; returns where the digits start.
std::size_t skipSpaceAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    return i;
}

} // namespace

bool parseBoxInt(std::string_view text, std::int32_t& value) {
    bool negative = false;
    std::size_t i = skipSpaceAndSign(text, negative);
    const std::size_t firstDigit = i;
    // The magnitude may reach 2^31 for the most negative value.
    const std::int64_t limit = negative ? std::int64_t(1) << 31 : (std::int64_t(1) << 31) - 1;
    std::int64_t magnitude = 0;
    while (i < text.size() && isDigit(text[i])) {
        magnitude = magnitude * 10 + (text[i++] - '0');
        if (magnitude > limit) return false;
    }
    if (i == firstDigit) return false;
    while (i < text.size() && isSpace(text[i])) ++i;
    if (i != text.size()) return false;
    value = std::int32_t(negative ? -magnitude : magnitude);
    return true;
}

bool parseAreaText(std::string_view text, std::uint16_t& value) {
    bool negative = false;
    std::size_t i = skipSpaceAndSign(text, negative);
    const std::size_t firstDigit = i;
    std::uint32_t magnitude = 0;
    bool tooLarge = false;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        // Keep scanning once over the limit so "-99999" is still seen as negative, not large.
        if (!tooLarge) magnitude = magnitude * 10 + std::uint32_t(text[i] - '0');
        if (magnitude > 65535) tooLarge = true;
    }
    if (i == firstDigit) return false;
    if (negative && (magnitude != 0 || tooLarge)) return false;
    if (tooLarge) return false;
    value = std::uint16_t(magnitude);
    return true;
}
