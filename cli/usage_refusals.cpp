#include "cli/usage_refusals.h"

#include <algorithm>

namespace {

// Letters inserted, deleted or changed to make one word of the other.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string commandNames(const CLI::App& app) {
    std::string names;
    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    for (std::size_t i = 0; i < commands.size(); ++i)
        names += (i == 0 ? "" : i + 1 == commands.size() ? " or " : ", ") + commands[i]->get_name();
    return names;
}

std::string unknownCommand(const CLI::App& app, const std::string& word) {
    const std::string closest = closestCommand(app, word);
    if (!closest.empty()) return "\"" + word + "\" is not a command; did you mean " + closest + "?";
    return "\"" + word + "\" is not a command; the commands are " + commandNames(app);
}

// The first of what was left over, in the order it was typed.
std::string firstLeftOver(const std::vector<std::string>& leftOver, const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (std::find(leftOver.begin(), leftOver.end(), arg) != leftOver.end()) return arg;
    return leftOver.empty() ? std::string() : leftOver.front();
}

// An option that only another command takes, or none at all.
std::string misplacedOption(const CLI::App& app, const std::string& given, const std::string& option) {
    const std::string name = option.substr(0, option.find('='));
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        if (command->get_option_no_throw(name) != nullptr)
            return name + " belongs to " + command->get_name() + (given.empty() ? "" : ", not to " + given);
    return "there is no option " + name;
}

} // namespace

std::string closestCommand(const CLI::App& app, const std::string& word) {
    std::string closest;
    std::size_t best = 3; // more changes than this make another word
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        const std::size_t distance = editDistance(word, command->get_name());
        if (distance < best) {
            best = distance;
            closest = command->get_name();
        }
    }
    return closest;
}

std::string refusalText(const CLI::App& app, const CLI::ParseError& e, const std::vector<std::string>& args) {
    const std::vector<CLI::App*> given = app.get_subcommands();
    const std::vector<std::string> leftOver = app.remaining(true);
    const std::string first = firstLeftOver(leftOver, args);
    if (given.empty() && !first.empty() && first[0] != '-') return unknownCommand(app, first);
    if (given.empty() && leftOver.empty() && dynamic_cast<const CLI::RequiredError*>(&e) != nullptr)
        return "name a command: " + commandNames(app);
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr && !first.empty()) {
        const std::string command = given.empty() ? std::string() : given.front()->get_name();
        if (first[0] == '-') return misplacedOption(app, command, first);
        return (command.empty() ? std::string("ventora-cli") : command) + " takes no argument \"" + first + "\"";
    }
    return e.what();
}
