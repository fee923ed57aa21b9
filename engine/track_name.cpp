#include "engine/track_name.h"

#include <cstdio>

#include "engine/plan.h"

size_t fileNameStart(const char* path)
{
    size_t start = 0;
    for (size_t at = 0; path[at] != '\0'; ++at) {
#ifdef _WIN32
        if (path[at] == '\\') start = at + 1;
#endif
        if (path[at] == '/') start = at + 1;
    }
    return start;
}

// Where the extension of name starts under rule: its dot, or the terminator.
static size_t extensionStart(const char* name, ExtensionRule rule)
{
    size_t start = rule == extensionInFileName ? fileNameStart(name) : 0;
    return start + findLastChar(name + start, '.');
}

// ".NNN" (".NNNN" past 999) and the terminator at suffix: at most 6
// characters; larger numbers are cut to four digits.
static void writeTrackNumber(char* suffix, uint32_t trackNumber)
{
    std::snprintf(suffix, 6, ".%03u", static_cast<unsigned>(trackNumber));
}

void formatTrackName(char* name, size_t size, const char* base, uint32_t trackNumber,
                     ExtensionRule rule)
{
    std::snprintf(name, size, "%.259s", base);
    writeTrackNumber(name + extensionStart(name, rule), trackNumber);
}
