// The one progress line on stderr that the command line redraws in place:
// the bar of a test, a session or a capacity search.
#pragma once
#include <string>

// Readies the terminal once before the first line: a Windows console gets
// virtual-terminal processing, so that "\033[K" clears the line.
void prepareTerminalLine();
// Replaces the line with text (no line break).
void drawTerminalLine(const std::string& text);
// Clears the line, where one is drawn.
void clearTerminalLine();
