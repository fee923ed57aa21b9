// The Windows backend and the command line's console handling where Wine
// cannot bring about the case for real: a symbolic link or junction (Wine
// reports no reparse points) and a console that refuses virtual-terminal
// processing (as consoles before Windows 10 do). Two system calls are replaced
// in this program's import table: GetFileAttributesA adds the reparse-point
// attribute for one chosen name, and SetConsoleMode can refuse that mode.
// Everything else, files and console included, is real.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
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
    EXPECT_EQ(platformCreateTrackFile(name.c_str()), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(),
                 "cannot create: it is a symbolic link or junction; track files must be regular files");
    EXPECT_EQ(platformOpenTrackFile(name.c_str()), invalidTrackHandle);
    EXPECT_STREQ(platformLastErrorText(),
                 "cannot open: it is a symbolic link or junction; track files must be regular files");
    EXPECT_EQ(readWholeFile(name), "the link's target") << "the target was written through";

    reparsePointName.clear();
    TrackHandle plain = platformCreateTrackFile(name.c_str());
    EXPECT_NE(plain, invalidTrackHandle) << "the same name as a plain file: " << platformLastErrorText();
    platformCloseTrack(plain);
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
