#include "analysis/number_text.h"

#include <cstdio>

std::string withThousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
    return digits;
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    std::string number = text;
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
    return number + " s";
}

std::string bufferText(double seconds)
{
    std::string text = secondsText(seconds);
    if (text.find('.') == std::string::npos) text.insert(text.size() - 2, ".0");
    return text;
}

std::string durationText(double seconds)
{
    char text[48];
    uint64_t whole = static_cast<uint64_t>(seconds + 0.5);
    if (whole < 60)
        std::snprintf(text, sizeof text, "%u s", static_cast<unsigned>(whole));
    else if (whole < 3600)
        std::snprintf(text, sizeof text, "%u min %u s", static_cast<unsigned>(whole / 60),
                      static_cast<unsigned>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%u h %u min", static_cast<unsigned>(whole / 3600),
                      static_cast<unsigned>(whole / 60 % 60));
    return text;
}

double nsSeconds(uint64_t ns)
{
    return static_cast<double>(ns) / 1e9;
}

double milliseconds(uint64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}
