// The names of the numbered track files: the base file name with its
// extension replaced by ".001", ".002" ... (".1000" on from 1000).
#pragma once
#include <cstddef>
#include <cstdint>

// Which dot of the base starts the extension that the number replaces.
enum ExtensionRule {
    // The last dot anywhere in the path, even one in a folder's name: the
    // Windows program's rule. "C:\Takes.v2\take" gives "C:\Takes.001".
    extensionAnywhereInPath,
    // The last dot of the file name, after the last '/' (on Windows also
    // '\'); a file name without one gets the number appended:
    // "/data/take.v2/take" gives "/data/take.v2/take.001".
    extensionInFileName,
};

const uint32_t maxBaseFileName = 259;  // characters, terminator not counted
// Room for the longest name: a base of maxBaseFileName characters, ".NNNN"
// and the terminator.
const uint32_t trackFileNameSize = 265;

// Where the file name in path starts: after its last '/' (on Windows also
// '\'), 0 when it has none.
size_t fileNameStart(const char* path);

// Fills name (size bytes, at least trackFileNameSize) with the name of track
// file trackNumber of base; a base is cut to its first maxBaseFileName
// characters first. Numbers past 9999 are cut to four digits.
void formatTrackName(char* name, size_t size, const char* base, uint32_t trackNumber,
                     ExtensionRule rule);
