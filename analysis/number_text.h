// Numbers as the command line writes them for a person.
#pragma once
#include <cstdint>
#include <string>

// A clock's nanoseconds as seconds, and as milliseconds.
double nsSeconds(uint64_t ns);
double milliseconds(uint64_t ns);

// 17694720000 -> "17,694,720,000".
std::string withThousands(uint64_t value);
// A duration in seconds with the decimals it needs: "60 s", "2.5 s", "0.25 s".
std::string secondsText(double seconds);
// A buffer's length with at least one decimal: "5.0 s", "2.5 s", "0.25 s".
std::string bufferText(double seconds);
// A length of time for a person: "45 s", "3 min 20 s", "1 h 12 min".
std::string durationText(double seconds);
