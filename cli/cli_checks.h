// Checks of command-line values shared by the commands.
#pragma once
#include <cstdint>
#include <string>

// A whole decimal number of at most maxDigits digits (at most 9), or false.
bool parseWholeNumber(const std::string& text, uint32_t maxDigits, uint32_t& value);

// "" for a usable base file name, else what is wrong with it.
std::string baseNameCheck(const std::string& text);
