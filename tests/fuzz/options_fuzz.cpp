// Feeds the command line's address lists and numeric values through the real
// option parser, and checks that whatever it accepts is in range.
//
// Input: byte 0 picks the arguments that go first (none, or a command and an
// option that takes a value), the rest are further arguments, one a line.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/options.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

const std::vector<std::vector<std::string>> kHeads = {
    {},      {"watch", "-a"},    {"watch", "--interval"},     {"watch", "--count"},
    {"set"}, {"scan", "--from"}, {"commission", "--address"}, {"-t"},
    {"-b"},  {"-d", "fd", "-b"},
};

void checkAccepted(const Options& o) {
    require(o.timeoutMs >= 1 && o.timeoutMs <= 10000);
    require(o.intervalMs >= 0 && o.intervalMs <= 86'400'000);
    require(!o.count || (*o.count >= 1 && *o.count <= 1'000'000'000));
    std::vector<std::uint8_t> sorted = o.addresses;
    std::sort(sorted.begin(), sorted.end());
    require(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
    require(sorted.empty() || sorted.front() >= 1);
    require(o.address.has_value() == (o.addresses.size() == 1));
    require(o.addresses.size() <= 1 || o.command == Command::Watch);
    require(o.baud.has_value() == o.dialect.has_value());
    require(!o.baud || baudAllowed(*o.dialect, *o.baud));
    require(o.scanFrom >= 1 && o.scanFrom <= o.scanTo);
    if (o.command == Command::Set && o.field == Field::Address) require(o.value >= 1 && o.value <= 255);
    if (o.command == Command::Set && o.field == Field::Baud)
        require(baudAllowed(Dialect::Fd, std::int32_t(o.value)) || baudAllowed(Dialect::Modbus, std::int32_t(o.value)));
    if (o.command == Command::Set && o.field == Field::Area) require(o.value <= 65535);
    if (o.command == Command::Commission) {
        require(o.firstAddress >= 1 && o.transmitters >= 1 && o.firstAddress + o.transmitters - 1 <= 255);
        require(!o.newBaud || baudAllowed(Dialect::Fd, *o.newBaud) || baudAllowed(Dialect::Modbus, *o.newBaud));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 512) return 0;
    std::vector<std::string> args = kHeads[data[0] % kHeads.size()];
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    for (std::size_t start = 0; start <= rest.size() && args.size() < 24;) {
        const std::size_t end = std::min(rest.find('\n', start), rest.size());
        args.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    Options options;
    std::ostringstream out, err;
    const int status = parseOptions(args, options, out, err);
    require(status == -1 || status == 0 || status == 2);
    if (status == -1) checkAccepted(options);
    if (status == 2) require(!err.str().empty());
    return 0;
}
