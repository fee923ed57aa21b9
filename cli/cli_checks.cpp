#include "cli/cli_checks.h"

#include <CLI/CLI.hpp>

#include "engine/plan.h"

bool parseWholeNumber(const std::string& text, uint32_t maxDigits, uint32_t& value)
{
    if (text.empty() || text.size() > maxDigits || maxDigits > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return true;
}

std::string baseNameCheck(const std::string& text)
{
    if (text.empty()) return "the base file name is empty";
    if (text.size() > maxBaseFileName) return "the base file name is longer than 259 characters";
    return "";
}

CLI::Validator choiceValidator(const uint32_t* choices, uint32_t count, const std::string& what)
{
    std::string names;
    std::string list;
    for (uint32_t i = 0; i < count; ++i) {
        names += (i == 0 ? "" : "|") + std::to_string(choices[i]);
        list += (i == 0 ? "" : ", ") + std::to_string(choices[i]);
    }
    return CLI::Validator(
        [=](const std::string& text) {
            uint32_t value;
            if (parseWholeNumber(text, 9, value))
                for (uint32_t i = 0; i < count; ++i)
                    if (value == choices[i]) return std::string();
            return what + " must be one of " + list + " (got '" + text + "')";
        },
        names, what);
}

CLI::Validator outputFileValidator(const std::string& shape, const std::string& what)
{
    return CLI::Validator(
        [](const std::string& text) { return text.empty() ? "the file name is empty" : ""; },
        shape, what);
}

void addBaseArgument(CLI::App* command, std::string& base)
{
    command
        ->add_option("BASE", base,
                     "base file name; the track files are BASE with its extension replaced "
                     "by .001, .002, ...")
        ->required()
        ->check(CLI::Validator(baseNameCheck, "PATH", "base"));
}

CLI::Validator wholeRangeValidator(uint32_t low, uint32_t high, const std::string& what)
{
    return CLI::Validator(
        [=](const std::string& text) {
            uint32_t value;
            if (parseWholeNumber(text, 9, value) && value >= low && value <= high)
                return std::string();
            return what + " must be a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high) + " (got '" + text + "')";
        },
        std::to_string(low) + "-" + std::to_string(high), what);
}
