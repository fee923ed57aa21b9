// The open and save dialogs that choose a test's base file name.
#pragma once
#include <windows.h>

#include "windows_gui/dialogs/dialog_memory.h"
#include "engine/front_end.h"

// On success the chosen base file name is in writeDialogPath / readDialogPath.
extern char readDialogPath[pathBufferSize];
extern char writeDialogPath[pathBufferSize];
// The dialogs, owned by owner; false when none was chosen.
bool chooseWriteBaseFile(HWND owner);
bool chooseReadBaseFile(HWND owner);

extern char defaultExtension[dialogTextSize];
extern char dialogTitle[dialogTextSize];
// Label / pattern pairs, each zero-terminated, the list ended by one more zero.
extern const char fileFilterList[];

// Preload the path buffer with initialFileName (null: empty), set the default
// extension and run the dialog; the platform call's result comes back.
BOOL showOpenDialog(HWND owner, const char* initialFileName, const char* initialDirectory,
                    const char* filterList, uint32_t filterIndex, const char* extension);
BOOL showSaveDialog(HWND owner, const char* initialFileName, const char* initialDirectory,
                    const char* filterList, uint32_t filterIndex, const char* extension,
                    bool confirmOverwrite);

// After every dialog, confirmed or not: folder, file name, extension, filter.
void updateDialogMemory(const char* pathBuffer);
// The process's current directory with a trailing backslash; a directory
// that cannot be read leaves the buffer's text as it was.
void readCurrentDirectory(char* buffer);
