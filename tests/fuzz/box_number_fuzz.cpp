// Feeds arbitrary text to the box-number parsers and to reading a box as a
// number, and compares each verdict with the C library's strtoll and strtol,
// which read the same white space, sign and decimal digits by their own code.
//
// Input: the box's text, every byte of it (NUL included).

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "window/dialog_access.h"
#include "window/number_text.h"
#include "tests/support/recording_dialog.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The leading number of text as strtoll reads it; false when there is none
// or it does not fit in a long long. rest is the text after it.
bool leadingNumber(const std::string& text, long long& value, std::string_view& rest) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE) return false;
    rest = std::string_view(text).substr(std::size_t(end - text.c_str()));
    return true;
}

// A signed 32-bit number, then nothing but white space.
bool expectedBoxInt(const std::string& text, std::int32_t& value) {
    long long number = 0;
    std::string_view rest;
    if (!leadingNumber(text, number, rest) || number < INT32_MIN || number > INT32_MAX) return false;
    for (char c : rest)
        if (!isSpace(c)) return false;
    value = std::int32_t(number);
    return true;
}

// The area rule: white space around decimal digits and nothing else, from 0
// to 65535, leading zeros and all.
bool expectedArea(const std::string& text, std::uint16_t& value) {
    const std::size_t first = text.find_first_not_of(" \t\n\v\f\r");
    if (first == std::string::npos) return false;
    const std::string digits = text.substr(first, text.find_last_not_of(" \t\n\v\f\r") + 1 - first);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
    const std::size_t significant = digits.find_first_not_of('0');
    if (significant != std::string::npos && digits.size() - significant > 5) return false;
    const long number = std::strtol(digits.c_str(), nullptr, 10);
    if (number > 65535) return false;
    value = std::uint16_t(number);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    constexpr std::int32_t kUntouched = 0x5EED;
    std::int32_t value = kUntouched, expected = kUntouched;
    const bool isInt = parseBoxInt(text, value);
    require(isInt == expectedBoxInt(text, expected));
    require(value == expected);

    FakeDialog box;
    box.boxes[kAddressBox] = text;
    require(box.readBoxInt(kAddressBox) == (isInt ? expected : 0));

    std::uint16_t area = 0x5EED, expectedValue = 0x5EED;
    require(parseAreaText(text, area) == expectedArea(text, expectedValue));
    require(area == expectedValue);

    // Any number written into a box reads back as itself.
    if (size >= 4) {
        std::int32_t any = 0;
        std::memcpy(&any, data, sizeof any);
        box.writeBoxInt(kAddressBox, any);
        require(box.readBoxInt(kAddressBox) == any);
    }
    return 0;
}
