#include "windows_gui/dialogs/file_dialogs.h"

#include <commdlg.h>

#include <cstddef>
#include <cstring>


char readDialogPath[pathBufferSize];
char writeDialogPath[pathBufferSize];
char defaultExtension[dialogTextSize];
char dialogTitle[dialogTextSize];

const char fileFilterList[] =
    "All Files  *.*\0*.*\0"
    "Wave File  *.wav\0*.wav\0"
    "Session File  *.ses\0*.ses\0"
    "Track Sheet  *.trk\0*.trk\0"
    "Mixer Setup  *.mix\0*.mix\0"
    "Edit List  *.edl\0*.edl\0";

// One structure for both dialogs, cleared before each. Its size field is the
// short form without the fields that later systems appended.
static OPENFILENAMEA dialogStructure;
static const DWORD shortDialogStructureSize =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);  // OPENFILENAME_SIZE_VERSION_400A
static_assert(sizeof(void*) != 4 || shortDialogStructureSize == 76,
              "the short OPENFILENAMEA layout is 76 bytes");

static const DWORD openDialogFlags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
static const DWORD saveDialogFlags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;

static void prepareDialog(HWND owner, char* pathBuffer, const char* initialFileName,
                          const char* initialDirectory, const char* filterList,
                          uint32_t filterIndex, const char* extension, DWORD flags)
{
    copyDialogText(pathBuffer, pathBufferSize, initialFileName != nullptr ? initialFileName : "");
    makeDefaultExtension(extension, defaultExtension, sizeof defaultExtension);

    std::memset(&dialogStructure, 0, sizeof dialogStructure);
    dialogStructure.lStructSize = shortDialogStructureSize;
    dialogStructure.hwndOwner = owner;
    dialogStructure.lpstrFilter = filterList;
    dialogStructure.nFilterIndex = filterIndex;
    dialogStructure.lpstrFile = pathBuffer;
    dialogStructure.nMaxFile = pathBufferSize;
    dialogStructure.lpstrInitialDir = initialDirectory;
    dialogStructure.lpstrTitle = dialogTitle;
    dialogStructure.Flags = flags;
    dialogStructure.lpstrDefExt = defaultExtension;
}

BOOL showOpenDialog(HWND owner, const char* initialFileName, const char* initialDirectory,
                    const char* filterList, uint32_t filterIndex, const char* extension)
{
    prepareDialog(owner, readDialogPath, initialFileName, initialDirectory, filterList, filterIndex,
                  extension, openDialogFlags);
    return GetOpenFileNameA(&dialogStructure);
}

BOOL showSaveDialog(HWND owner, const char* initialFileName, const char* initialDirectory,
                    const char* filterList, uint32_t filterIndex, const char* extension,
                    bool confirmOverwrite)
{
    DWORD flags = confirmOverwrite ? saveDialogFlags : saveDialogFlags & ~OFN_OVERWRITEPROMPT;
    prepareDialog(owner, writeDialogPath, initialFileName, initialDirectory, filterList, filterIndex,
                  extension, flags);
    return GetSaveFileNameA(&dialogStructure);
}

void readCurrentDirectory(char* buffer)
{
    GetCurrentDirectoryA(dialogTextSize, buffer);
    ensureTrailingBackslash(buffer, dialogTextSize);
}

void updateDialogMemory(const char* pathBuffer)
{
    readCurrentDirectory(DialogMemory.initialDirectory);
    rememberDialogResult(pathBuffer, dialogStructure.nFileOffset, dialogStructure.nFileExtension,
                         dialogStructure.nFilterIndex);
}

bool chooseReadBaseFile(HWND owner)
{
    copyDialogText(dialogTitle, sizeof dialogTitle, "Select Read Test Base FileName");
    BOOL result = showOpenDialog(owner, DialogMemory.lastFileName, DialogMemory.initialDirectory,
                                 fileFilterList, DialogMemory.filterIndex,
                                 DialogMemory.lastExtension);
    updateDialogMemory(readDialogPath);
    return result != FALSE;
}

bool chooseWriteBaseFile(HWND owner)
{
    copyDialogText(dialogTitle, sizeof dialogTitle, "Select Write Test Base FileName");
    BOOL result = showSaveDialog(owner, DialogMemory.lastFileName, DialogMemory.initialDirectory,
                                 fileFilterList, DialogMemory.filterIndex,
                                 DialogMemory.lastExtension, true);
    updateDialogMemory(writeDialogPath);
    return result != FALSE;
}
