// Windows: the console, and interrupts from its control handler (Ctrl-C,
// Ctrl-Break, closing the console, logging off, shutting down).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"

bool platformStandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

static HANDLE consoleChanged = nullptr;
static DWORD consoleModeBefore = 0;

static void restoreConsoleMode()
{
    SetConsoleMode(consoleChanged, consoleModeBefore);
}

// "\033[K" clears a line only with virtual-terminal processing on, which
// consoles before Windows 10 refuse.
bool platformPrepareTerminalLine()
{
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode)) return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    if (!SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
    if (consoleChanged == nullptr) std::atexit(restoreConsoleMode);
    consoleChanged = console;
    consoleModeBefore = mode;
    return true;
}

std::string platformArgumentToUtf8(const std::string& text)
{
    int length = static_cast<int>(text.size());
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0) return text;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], wideLength);
    int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0,
                                         nullptr, nullptr);
    if (utf8Length <= 0) return text;
    std::string utf8(static_cast<size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], utf8Length, nullptr,
                        nullptr);
    return utf8;
}

static volatile LONG interrupts = 0;
static char cleanupFolder[MAX_PATH + 1];
static volatile LONG cleanupSet = 0;
// Set once the process has done what it does after an interrupt: a closed
// console ends the process as soon as the handler returns.
static HANDLE workFinished = nullptr;

// Every file of the folder that can go (a file still open cannot), then the folder.
static void removeFolderFiles(const char* folder)
{
    char pattern[MAX_PATH + 8];
    std::snprintf(pattern, sizeof pattern, "%s\\*", folder);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
            char name[2 * MAX_PATH + 2];
            std::snprintf(name, sizeof name, "%s\\%s", folder, found.cFileName);
            DeleteFileA(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder);
}

static BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (InterlockedIncrement(&interrupts) == 1) {
        // Ctrl-C and Ctrl-Break leave the process running; the others end it
        // when this returns, so the work that polls the flag is waited for.
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && workFinished != nullptr)
            WaitForSingleObject(workFinished, 4500);
        return TRUE;
    }
    if (cleanupSet) removeFolderFiles(cleanupFolder);
    ExitProcess(1);
    return TRUE;
}

void platformWatchInterrupts()
{
    if (workFinished == nullptr) workFinished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(workFinished);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool platformInterruptRequested()
{
    return interrupts != 0;
}

void platformStopWatchingInterrupts()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    if (workFinished != nullptr) SetEvent(workFinished);
}

void platformSetInterruptCleanupFolder(const std::string& folder)
{
    cleanupSet = 0;
    if (folder.empty() || folder.size() >= sizeof cleanupFolder) return;
    std::memcpy(cleanupFolder, folder.c_str(), folder.size() + 1);
    cleanupSet = 1;
}
