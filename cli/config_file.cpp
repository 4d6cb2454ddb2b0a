// --config FILE: which of the two, the file or the command line, a fault is in.

#include <sstream>

#include "cli/options.h"

namespace {

// The file named by --config FILE or --config=FILE; empty without one.
std::string configFileIn(const std::vector<std::string>& args) {
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--config" && i + 1 < args.size()) path = args[i + 1];
        if (args[i].starts_with("--config=")) path = args[i].substr(9);
    }
    return path;
}

} // namespace

int parseNamingTheFile(const std::vector<std::string>& args, Options& o, std::ostream& out, std::ostream& err) {
    std::ostringstream why;
    const int status = parseCommandLine(args, o, true, out, why);
    const std::string path = configFileIn(args);
    Options plain;
    std::ostringstream ignored;
    if (status != int(Status::Usage) || path.empty() || parseCommandLine(args, plain, false, ignored, ignored) != -1) {
        err << why.str();
        return status;
    }
    // The command line alone is fine, so the file is at fault: it is named.
    std::string first = why.str().substr(0, why.str().find('\n'));
    if (first.starts_with("ventora-cli: ")) first.erase(0, 13);
    err << "ventora-cli: " << path << ": " << first << "\n";
    return status;
}
