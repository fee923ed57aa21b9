#include "cli/cli_checks.h"

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
