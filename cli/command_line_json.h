// The command line's own definition as JSON: every command and option with
// its value type, allowed values, default and description. The build makes
// the manual page and the bash completion from it, so neither can drift from
// what trakmon accepts and what --help says.
#pragma once
namespace CLI {
class App;
class Validator;
}  // namespace CLI
#include <string>

std::string commandLineJson(const CLI::App& app);
