#pragma once
// Every number ventora-cli takes, on its command line or from a configuration
// file, read by the one decimal parser (protocol/decimal.h).

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// Puts the decimal parser in front of CLI11's conversion on every whole-number
// option and argument of app and its commands, those added later excepted.
void numbersInDecimal(CLI::App& app);

// "3,10-14" gives 3, 10, 11, 12, 13, 14, in that order. False, with why in
// error, for anything else: an address outside 1..255, a range that runs
// backwards, an address listed twice, an empty item.
bool parseAddressList(const std::string& text, std::vector<std::uint8_t>& addresses, std::string& error);
