#include "cli/numbers.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string_view>

#include "protocol/decimal.h"

namespace {

// Every number the tool takes, on the command line or from a file, is read by
// the one decimal parser before CLI11 converts it: CLI11's own conversion
// would read "0450" as octal and "0x1C2" as hex.
const CLI::Validator kDecimalNumber(
    [](std::string& text) -> std::string {
        std::uint32_t value = 0;
        if (parseDecimal(text, UINT32_MAX, value)) {
            text = std::to_string(value);
            return {};
        }
        if (text.find_first_not_of("0123456789") == std::string::npos && !text.empty()) return text + " is too large";
        return "\"" + text + "\" is not a whole number in decimal digits";
    },
    "");

} // namespace

void numbersInDecimal(CLI::App& app) {
    for (CLI::Option* option : app.get_options()) {
        const std::string type = option->get_type_name();
        if (type.rfind("INT", 0) == 0 || type.rfind("UINT", 0) == 0) option->transform(kDecimalNumber);
    }
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) numbersInDecimal(*command);
}

bool parseAddressList(const std::string& text, std::vector<std::uint8_t>& addresses, std::string& error) {
    addresses.clear();
    bool listed[256] = {};
    const auto number = [&](std::string_view item, int& value) {
        std::uint32_t parsed = 0;
        if (!parseDecimal(item, 255, parsed) || parsed < 1) {
            error = "address \"" + std::string(item) + "\" is not a number from 1 to 255";
            return false;
        }
        value = int(parsed);
        return true;
    };
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t dash = item.find('-');
        int first = 0, last = 0;
        if (!number(item.substr(0, dash), first)) return false;
        last = first;
        if (dash != std::string_view::npos && !number(item.substr(dash + 1), last)) return false;
        if (last < first) {
            error = "the range " + std::string(item) + " runs backwards";
            return false;
        }
        for (int a = first; a <= last; ++a) {
            if (listed[a]) {
                error = "address " + std::to_string(a) + " is listed twice";
                return false;
            }
            listed[a] = true;
            addresses.push_back(std::uint8_t(a));
        }
        if (comma == std::string_view::npos) return true;
        rest.remove_prefix(comma + 1);
    }
}
