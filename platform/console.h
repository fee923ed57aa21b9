// What a front end needs of the system beside the engine's seam: the
// terminal it draws its progress line on, interrupts from the user or the
// system, and the command line's text as UTF-8. Never replaced by a double:
// the tests meet the real terminal and real signals.
#pragma once
#include <string>

// Whether standard error is a terminal (a progress line is drawn only there).
bool platformStandardErrorIsTerminal();
// Readies the terminal once before the first redrawn line. True when
// "\r\033[K" clears a line; false where the line must be overwritten with
// spaces (a Windows console without virtual-terminal processing).
bool platformPrepareTerminalLine();

// A file name or other text of the command line, as UTF-8 (Windows hands
// them over in the ANSI code page; elsewhere they are left as they are).
std::string platformArgumentToUtf8(const std::string& text);

// Interrupts: Ctrl-C, a hang-up (the terminal or the remote shell went
// away), a termination request, and on Windows Ctrl-Break and closing the
// console. While watched, the first one only sets a flag that long work
// polls (platformInterruptRequested); a second one ends the process at once
// with exit status 1, after removing the files of the cleanup folder.
void platformWatchInterrupts();
bool platformInterruptRequested();
// The default handling again (the flag stays as it is).
void platformStopWatchingInterrupts();
// A folder that only this process fills: a second interrupt removes its
// files and the folder itself before the process ends. Empty for none.
void platformSetInterruptCleanupFolder(const std::string& folder);
