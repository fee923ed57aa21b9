#include "windows_gui/dialogs/dialog_memory.h"

#include <cstring>

DialogMemoryRecord DialogMemory;

void copyDialogText(char* out, size_t capacity, const char* text)
{
    size_t length = strnlen(text, capacity - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
}

void resetDialogMemory()
{
    DialogMemory.initialDirectory[0] = '\0';
    DialogMemory.lastFileName[0] = '\0';
    copyDialogText(DialogMemory.lastExtension, dialogTextSize, ".*");
    DialogMemory.filterIndex = 1;
}

void ensureTrailingBackslash(char* text, size_t capacity)
{
    size_t length = std::strlen(text);
    if (length == 0 || text[length - 1] == '\\') return;
    if (length + 2 > capacity) return;
    text[length] = '\\';
    text[length + 1] = '\0';
}

void makeDefaultExtension(const char* extension, char* out, size_t capacity)
{
    copyDialogText(out, capacity, extension);
    if (out[0] != '\0' && out[1] == '*') out[0] = '\0';
}

void rememberDialogResult(const char* pathBuffer, uint32_t fileOffset, uint32_t extensionOffset,
                          uint32_t filterIndex)
{
    size_t length = strnlen(pathBuffer, dialogTextSize - 1);

    if (fileOffset <= length)
        copyDialogText(DialogMemory.lastFileName, dialogTextSize, pathBuffer + fileOffset);
    else
        DialogMemory.lastFileName[0] = '\0';

    // A name ending in '.' has its extension offset at the terminator: no extension.
    if (extensionOffset != 0 && extensionOffset < length)
        copyDialogText(DialogMemory.lastExtension, dialogTextSize, pathBuffer + extensionOffset - 1);
    else
        DialogMemory.lastExtension[0] = '\0';

    DialogMemory.filterIndex = filterIndex;
}
