// What the open and the save dialog remember between uses, so that each one
// starts where the last one ended: folder, file name, extension and filter.
#pragma once
#include <cstddef>
#include <cstdint>

const uint32_t dialogTextSize = 260;  // characters, terminator included

struct DialogMemoryRecord {
    char initialDirectory[dialogTextSize];  // current directory after the last dialog, with '\'
    char lastFileName[dialogTextSize];      // file-name part of the last dialog's path
    char lastExtension[dialogTextSize];     // its extension with the '.', e.g. ".wav"
    uint32_t filterIndex;                   // 1-based filter of the last dialog
};

extern DialogMemoryRecord DialogMemory;

// Copies text into out, cut to capacity - 1 characters and terminated.
void copyDialogText(char* out, size_t capacity, const char* text);

// The start values: nothing remembered, extension ".*", the first filter.
void resetDialogMemory();

// Appends '\' unless the text is empty or already ends in one. A text with no
// room left for it (capacity counts the terminator) is left as it is: a folder
// without its trailing backslash still names the same folder.
void ensureTrailingBackslash(char* text, size_t capacity);

// The default extension a dialog gets from an extension text: a copy, except
// that a wildcard extension (".*") or an empty one gives an empty text.
void makeDefaultExtension(const char* extension, char* out, size_t capacity);

// Takes the file name, the extension and the filter from a dialog that has
// just returned. fileOffset and extensionOffset are the dialog's own offsets
// into pathBuffer; an extension offset of 0 means no extension (and, after a
// cancelled dialog, the file offset 0 keeps the preloaded name), and so does
// one at the terminator (a name ending in '.'). Offsets that lie past the end
// of the text are taken as empty.
void rememberDialogResult(const char* pathBuffer, uint32_t fileOffset, uint32_t extensionOffset,
                          uint32_t filterIndex);
