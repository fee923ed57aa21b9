#include "cli/terminal_line.h"

#include <cstdio>

#include "platform/console.h"

// A line is cleared with "\r\033[K". A Windows console understands that only
// with virtual-terminal processing on, which consoles before Windows 10
// refuse: there, and wherever the mode cannot be read, spaces overwrite the
// line instead.
static bool lineClearsWithSpaces = false;
static size_t drawnWidth = 0;  // characters on the line now

void prepareTerminalLine()
{
    lineClearsWithSpaces = !platformPrepareTerminalLine();
}

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
