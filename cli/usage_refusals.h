#pragma once
// What a refused command line says, where CLI11's own words would not name
// what was typed: a mistyped command, an option given to the wrong command.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

// The text of the refusal (without the program's name) for e, raised while app
// parsed args.
std::string refusalText(const CLI::App& app, const CLI::ParseError& e, const std::vector<std::string>& args);

// The command of app closest to word, when one is a few letters from it; "" otherwise.
std::string closestCommand(const CLI::App& app, const std::string& word);
