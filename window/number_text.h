#pragma once
// Numbers typed into the dialog's edit boxes. Pure functions, no allocation.

#include <cstdint>
#include <string_view>

// Optional white space, an optional sign, at least one decimal digit within the
// signed 32-bit range, then optional white space and nothing else. False for
// any other text; value is then untouched.
bool parseBoxInt(std::string_view text, std::int32_t& value);

// Text of the shape parseBoxInt takes whose number does not fit in 32 bits
// ("99999999999"): a number all the same, only out of any range.
bool boxNumberTooLong(std::string_view text);

// The area box's rule: surrounding white space, then decimal digits only, 0 to
// 65535 ("0450" is 450). False for anything else: a sign, a point, an
// exponent, hex, or a second number.
bool parseAreaText(std::string_view text, std::uint16_t& value);
