#pragma once
// Numbers typed into the dialog's edit boxes. Pure functions, no allocation.

#include <cstdint>
#include <string_view>

// Optional white space, an optional sign, at least one decimal digit within the
// signed 32-bit range, then optional white space and nothing else. False for
// any other text; value is then untouched.
bool parseBoxInt(std::string_view text, std::int32_t& value);

// The area box's rule: leading white space, an optional sign, then the decimal
// digits up to the first non-digit (" 12cm" gives 12). False when there is no
// digit, when the value is negative, or when it exceeds 65535.
bool parseAreaText(std::string_view text, std::uint16_t& value);
