#include "protocol/decimal.h"

bool parseDecimal(std::string_view text, std::uint32_t max, std::uint32_t& value) {
    if (text.empty()) return false;
    std::uint64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + std::uint64_t(c - '0');
        // Past max, the digits left can only make it larger: no overflow.
        if (number > max) return false;
    }
    value = std::uint32_t(number);
    return true;
}
