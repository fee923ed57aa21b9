#include "engine/track_name.h"

#include <cstdio>

#include "engine/plan.h"

// Where the extension of name starts under rule: its dot, or the terminator.
static size_t extensionStart(const char* name, ExtensionRule rule)
{
    size_t fileNameStart = 0;
    if (rule == extensionInFileName) {
        for (size_t at = 0; name[at] != '\0'; ++at) {
#ifdef _WIN32
            if (name[at] == '\\') fileNameStart = at + 1;
#endif
            if (name[at] == '/') fileNameStart = at + 1;
        }
    }
    size_t dot = fileNameStart + findLastChar(name + fileNameStart, '.');
    return dot;
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

void formatTrackFileName(char* workingPath, uint32_t trackNumber)
{
    writeTrackNumber(workingPath + extensionStart(workingPath, extensionAnywhereInPath),
                     trackNumber);
}
