// The Windows backend on real files under Wine: the storage under a folder,
// listing, the folder lock, write-back. And the backend and the command
// line's console handling where Wine cannot bring about the case for real: a
// symbolic link or junction (Wine reports no reparse points) and a console
// that refuses virtual-terminal processing (as consoles before Windows 10
// do). Two system calls are replaced in this program's import table:
// GetFileAttributesA adds the reparse-point attribute for one chosen name,
// and SetConsoleMode can refuse that mode. Everything else, files and
// console included, is real.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "cli/cli_front_end.h"
#include "engine/front_end.h"
#include "platform/platform.h"
#include "tests/wine/wine_harness.h"

namespace {

std::string reparsePointName;
bool consoleRefusesVirtualTerminal = false;

template <typename Function>
Function systemFunction(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

DWORD WINAPI attributesWithReparsePoint(LPCSTR name)
{
    DWORD attributes = systemFunction<decltype(&GetFileAttributesA)>("GetFileAttributesA")(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && reparsePointName == name)
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
}

BOOL WINAPI consoleModeOrRefusal(HANDLE console, DWORD mode)
{
    if (consoleRefusesVirtualTerminal && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return systemFunction<decltype(&SetConsoleMode)>("SetConsoleMode")(console, mode);
}

}  // namespace

// The import table entries that calls through the system headers use.
#ifdef _WIN64
#define IMPORT_ENTRY(name, argumentBytes) "__imp_" #name
#else
#define IMPORT_ENTRY(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#endif
extern "C" {
decltype(&GetFileAttributesA) importedGetFileAttributesA
    __asm__(IMPORT_ENTRY(GetFileAttributesA, 4)) = attributesWithReparsePoint;
decltype(&SetConsoleMode) importedSetConsoleMode
    __asm__(IMPORT_ENTRY(SetConsoleMode, 8)) = consoleModeOrRefusal;
}

namespace {

TEST(TrackFileName, ASymbolicLinkOrJunctionIsRefusedAndNotWrittenThrough)
{
    std::string name = freshFolder("reparse-point") + "take.001";
    FILE* file = std::fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("the link's target", file);
    std::fclose(file);

    reparsePointName = name;
    IoStatus why = {ioNoError, 0};
    EXPECT_EQ(platformCreateTrackFile(name.c_str(), &why), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(),
                 "cannot create: it is a symbolic link or junction; track files must be regular files");
    EXPECT_EQ(why.error, ioNotRegularFile);
    why = {ioNoError, 0};
    EXPECT_EQ(platformOpenTrackFile(name.c_str(), &why), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(),
                 "cannot open: it is a symbolic link or junction; track files must be regular files");
    EXPECT_EQ(why.error, ioNotRegularFile);
    EXPECT_EQ(readWholeFile(name), "the link's target") << "the target was written through";

    reparsePointName.clear();
    TrackHandle plain = platformCreateTrackFile(name.c_str());
    EXPECT_NE(plain, invalidTrackHandle) << "the same name as a plain file: " << platformLastErrorText();
    platformCloseTrack(plain);
}

TEST(Storage, AFolderOnTheWineDriveIsDescribed)
{
    std::string folder = freshFolder("storage");
    StorageInfo info;
    ASSERT_TRUE(platformDescribeStorage(folder.c_str(), info)) << platformLastErrorText();
    std::printf("file system '%s', mount point '%s', device '%s', model '%s', counter '%s' %s\n",
                info.fileSystem, info.mountPoint, info.device, info.model, info.counter,
                info.writtenBytesReadable ? "readable" : "not readable");
    EXPECT_STRNE(info.fileSystem, "");
    EXPECT_STREQ(info.mountPoint, "C:\\");
    EXPECT_STREQ(info.device, "\\\\.\\C:");
    uint64_t bytes = 0;
    EXPECT_EQ(platformDeviceWrittenBytes(info, bytes), info.writtenBytesReadable);
    EXPECT_FALSE(platformCanDropCachedPages());
}

void collect(void* context, const char* name, bool isFolder, uint64_t size)
{
    (*static_cast<std::map<std::string, std::string>*>(context))[name] =
        (isFolder ? "folder " : "file ") + std::to_string(size);
}

TEST(Folders, AreListedWithoutDotEntries)
{
    std::string folder = freshFolder("listing");
    ASSERT_TRUE(makeFileOfSize(folder + "take.001", 5000));
    ASSERT_TRUE(platformMakeFolder((folder + "sub").c_str())) << platformLastErrorText();
    std::map<std::string, std::string> listed;
    ASSERT_TRUE(platformListFolder(folder.c_str(), collect, &listed));
    const std::map<std::string, std::string> expected = {{"sub", "folder 0"}, {"take.001", "file 5000"}};
    EXPECT_EQ(listed, expected);
    EXPECT_FALSE(platformListFolder((folder + "missing").c_str(), collect, &listed));
}

TEST(Folders, ALockIsHeldOnceAndItsFileGoesWithIt)
{
    std::string folder = freshFolder("lock");
    std::string lockFile = folder + folderLockName;
    EXPECT_FALSE(platformFolderLocked(folder.c_str())) << "no lock file, yet locked";
    TrackHandle lock = platformLockFolder(folder.c_str());
    ASSERT_NE(lock, invalidTrackHandle) << platformLastErrorText();
    EXPECT_TRUE(platformFolderLocked(folder.c_str()));
    EXPECT_EQ(platformLockFolder(folder.c_str()), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(),
                 "cannot lock the folder: another program holds its lock (.trakmon.lock)");
    EXPECT_TRUE(platformUnlockFolder(lock, folder.c_str()));
    EXPECT_EQ(fileSize(lockFile), -1) << "the lock file stayed";
    EXPECT_FALSE(platformFolderLocked(folder.c_str()));
    lock = platformLockFolder(folder.c_str());
    EXPECT_NE(lock, invalidTrackHandle) << "released, yet refused: " << platformLastErrorText();
    EXPECT_TRUE(platformUnlockFolder(lock, folder.c_str()));
}

TEST(TrackFile, WriteBackStartsAndFinishes)
{
    std::string name = freshFolder("write-back") + "take.001";
    for (TrackCaching caching : {throughFileCache, bypassFileCache}) {
        SCOPED_TRACE(caching == throughFileCache ? "through the cache" : "bypassing it");
        TrackHandle file = platformCreateTrackFile(name.c_str(), caching);
        ASSERT_NE(file, invalidTrackHandle) << platformLastErrorText();
        void* buffer = platformAllocTransferBuffer(65536);
        EXPECT_EQ(platformWriteTrack(file, buffer, 65536), 65536u);
        platformFreeTransferBuffer(buffer);
        EXPECT_TRUE(platformStartWriteBack(file));
        EXPECT_TRUE(platformWaitWriteBack(file)) << GetLastError();
        EXPECT_TRUE(platformFinishWriteBack(file)) << GetLastError();
        EXPECT_TRUE(platformCloseTrack(file));
    }
    EXPECT_EQ(fileSize(name), 65536);
}

// The first row of the console, as it shows.
std::string consoleRow(HANDLE console)
{
    char row[80];
    DWORD read = 0;
    ReadConsoleOutputCharacterA(console, row, sizeof row, COORD{0, 0}, &read);
    return std::string(row, read);
}

TEST(ProgressLine, VirtualTerminalProcessingIsTurnedOnOrTheBarIsClearedWithSpaces)
{
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(console, INVALID_HANDLE_VALUE);
    // stderr on the console through a handle that can also read its mode,
    // as a console's own standard handles can.
    ASSERT_EQ(_dup2(_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_TEXT), 2), 0);
    SetStdHandle(STD_ERROR_HANDLE, console);
    const DWORD plainMode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;

    for (bool refuses : {false, true}) {
        consoleRefusesVirtualTerminal = refuses;
        SetConsoleMode(console, plainMode);
        DWORD written = 0;
        FillConsoleOutputCharacterA(console, ' ', 80, COORD{0, 0}, &written);
        SetConsoleCursorPosition(console, COORD{0, 0});

        CliTest test;
        beginCliTest(test, "take.wav", true);
        FrontEnd frontEnd = cliFrontEnd(test);
        frontEnd.openProgress(frontEnd.context, 300);
        frontEnd.showProgressCaption(frontEnd.context, "Writing Track Files");
        ASSERT_NE(consoleRow(console).find("] Writing Track Files"), std::string::npos)
            << "no bar drawn: '" << consoleRow(console) << "'";
        frontEnd.closeProgress(frontEnd.context);

        DWORD mode = 0;
        GetConsoleMode(console, &mode);
        if (refuses) {
            EXPECT_EQ(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING, 0u);
            EXPECT_EQ(consoleRow(console), std::string(80, ' ')) << "the bar was not cleared";
        } else {
            EXPECT_NE(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING, 0u) << "mode " << mode;
        }
    }
    consoleRefusesVirtualTerminal = false;
    FreeConsole();
}

}  // namespace
