#include "cli/terminal_line.h"

#include <cstdio>
#include <cstdlib>
#ifdef _WIN32
#include <windows.h>
#endif

// A line is cleared with "\r\033[K". A Windows console understands that only
// with virtual-terminal processing on, which consoles before Windows 10
// refuse: there, and wherever the mode cannot be read, spaces overwrite the
// line instead.
static bool lineClearsWithSpaces = false;
static size_t drawnWidth = 0;  // characters on the line now

#ifdef _WIN32
static HANDLE consoleChanged = nullptr;
static DWORD consoleModeBefore = 0;

static void restoreConsoleMode() { SetConsoleMode(consoleChanged, consoleModeBefore); }

void prepareTerminalLine()
{
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    lineClearsWithSpaces = true;
    if (!GetConsoleMode(console, &mode)) return;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        if (!SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return;
        if (consoleChanged == nullptr) std::atexit(restoreConsoleMode);
        consoleChanged = console;
        consoleModeBefore = mode;
    }
    lineClearsWithSpaces = false;
}
#else
void prepareTerminalLine() {}
#endif

static void eraseLine()
{
    if (lineClearsWithSpaces)
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawnWidth), "");
    else
        std::fputs("\r\033[K", stderr);
}

void drawTerminalLine(const std::string& text)
{
    eraseLine();
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    drawnWidth = text.size();
}

void clearTerminalLine()
{
    if (drawnWidth == 0) return;
    eraseLine();
    std::fflush(stderr);
    drawnWidth = 0;
}
