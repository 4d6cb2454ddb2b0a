#pragma once
// The one reading of a number that a person typed, wherever the tool takes
// one: decimal digits and nothing else. A leading zero is still decimal
// ("0450" is 450); signs, spaces, points, exponents and hex are refused rather
// than read up to the first odd character. Pure, no allocation.

#include <cstdint>
#include <string_view>

// False when text is empty, holds anything but the digits 0 to 9, or names a
// value above max; value is then untouched.
bool parseDecimal(std::string_view text, std::uint32_t max, std::uint32_t& value);
