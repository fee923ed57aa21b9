// Checks of command-line values shared by the commands. Each validator
// names the allowed values, so that --help, the manual page and the
// completion show them.
#pragma once
namespace CLI {
class App;
class Validator;
}  // namespace CLI
#include <cstdint>
#include <string>

// A whole decimal number of at most maxDigits digits (at most 9), or false.
bool parseWholeNumber(const std::string& text, uint32_t maxDigits, uint32_t& value);

// "" for a usable base file name, else what is wrong with it.
std::string baseNameCheck(const std::string& text);

// One of choices ("1|2|12|..."); the message names them all.
CLI::Validator choiceValidator(const uint32_t* choices, uint32_t count, const std::string& what);
// A whole number from low to high ("1-100").
CLI::Validator wholeRangeValidator(uint32_t low, uint32_t high, const std::string& what);
// A file to write (--log, --plot): any name but an empty one. shape is how
// --help shows it ("FILE.csv").
CLI::Validator outputFileValidator(const std::string& shape, const std::string& what);

// The base file name, the last argument of every command that makes or
// reads track files.
void addBaseArgument(CLI::App* command, std::string& base);
