#pragma once
// What the window's command line asks for, read before any window opens:
// the window in a language, the usage, the version, or a refusal.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "window/texts.h"

struct StartRequest {
    enum class Action : std::uint8_t { Open, Usage, Version, Refuse };
    Action action = Action::Open;
    Language language = Language::Chinese;
    std::string text; // the usage or the version line (for stdout), or the complaint (for stderr)

    // -1 when the window opens; otherwise the program's exit status.
    int exitStatus() const { return action == Action::Open ? -1 : action == Action::Refuse ? 2 : 0; }
};

// args come without the program's name. ownFlags are the program's flags
// besides --lang, --help and --version (Ventora-demo's --echo). With
// othersAllowed, arguments it does not know are left to the toolkit, which
// takes its own from the command line later; without, they are refused.
StartRequest readStartRequest(const std::string& program, const std::vector<std::string>& args, Language system,
                              const std::vector<std::string_view>& ownFlags, bool othersAllowed);
