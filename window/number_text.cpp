#include "window/number_text.h"

#include "protocol/decimal.h"

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

bool boxNumberTooLong(std::string_view text) {
    bool negative = false;
    std::size_t i = skipSpaceAndSign(text, negative);
    const std::size_t firstDigit = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    if (i == firstDigit) return false;
    while (i < text.size() && isSpace(text[i])) ++i;
    std::int32_t unused = 0;
    return i == text.size() && !parseBoxInt(text, unused);
}

bool parseAreaText(std::string_view text, std::uint16_t& value) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    std::uint32_t area = 0;
    if (!parseDecimal(text, 65535, area)) return false;
    value = std::uint16_t(area);
    return true;
}
