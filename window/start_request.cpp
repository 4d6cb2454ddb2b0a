#include "window/start_request.h"

#include <algorithm>
#include <optional>

#include "ventora_version.h"

namespace {

bool isOwn(const std::string& arg, const std::vector<std::string_view>& ownFlags) {
    return arg == "--help" || arg == "-h" || arg == "--version" || arg == "--lang" || arg.starts_with("--lang=") ||
           std::find(ownFlags.begin(), ownFlags.end(), arg) != ownFlags.end();
}

std::string usage(const std::string& program, const std::vector<std::string_view>& ownFlags) {
    std::string text = "Usage: " + program + " [--lang zh|en]";
    for (const std::string_view flag : ownFlags) text += " [" + std::string(flag) + "]";
    return text + "\n       " + program + " --help | --version\n" +
           "Opens the configuration window for RS-485 duct air-velocity transmitters.\n"
           "  --lang zh|en   the window's language (default: the user's interface language)\n";
}

} // namespace

StartRequest readStartRequest(const std::string& program, const std::vector<std::string>& args, Language system,
                              const std::vector<std::string_view>& ownFlags, bool othersAllowed) {
    StartRequest request;
    const std::optional<Language> language = chooseLanguage(args, system, request.text);
    if (!language) {
        request.action = StartRequest::Action::Refuse;
        return request;
    }
    request.language = *language;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--lang") ++i; // its value was judged with it
        if (arg == "--help" || arg == "-h") {
            request.action = StartRequest::Action::Usage;
            request.text = usage(program, ownFlags);
            return request;
        }
        if (arg == "--version") {
            request.action = StartRequest::Action::Version;
            request.text = program + " " VENTORA_VERSION "\n";
            return request;
        }
        if (!othersAllowed && !isOwn(arg, ownFlags)) {
            request.action = StartRequest::Action::Refuse;
            request.text = (arg.starts_with("-") ? "unknown option \"" : "unexpected argument \"") + arg + "\"; see " +
                           program + " --help";
            return request;
        }
    }
    return request;
}
