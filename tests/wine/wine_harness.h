// Helpers for driving the real Windows programs from a second process under
// Wine: start them, find their windows, post menu commands, answer the file
// dialogs, read and dismiss message boxes, read pixels, and a watchdog that
// ends a test (and every program it started) when it runs too long.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Menu command ids of the main window.
const int cmdWriteTest = 1010;
const int cmdReadTest = 1020;
const int cmdExit = 1080;
const int cmdTracks1 = 40005;
const int cmdTracks2 = 40012;
const int cmdTracks12 = 40006;
const int cmdTracks24 = 40007;
const int cmdTracks72 = 40011;
const int cmdRead32 = 40013;
const int cmdRead512 = 40017;
const int cmdWrite32 = 40019;
const int cmdWrite512 = 40023;

const char* const programTitle = "ZAT Hard Disk Speed Test 32Bit Utility - Ver 2.0";
const char* const writeDialogTitle = "Select Write Test Base FileName";
const char* const readDialogTitle = "Select Read Test Base FileName";
const char* const notEnoughTrackFilesText =
    "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.";
const char* const fileSizeTooSmallText =
    "File Size Is Too Small!\n\nDo The Write Test To Create The Needed Files.";

// Controls of the system's file dialog and message box.
const int fileNameControl = 0x47c;      // cmb13: the file name combo box (edt1 on older dialogs)
const int fileNameEditControl = 0x480;  // edt1
const int fileTypeControl = 0x470;      // cmb1: the filter list
const int folderControl = 0x471;        // cmb2: "Save in" / "Look in"
const int messageTextControl = 0xFFFF;
const int messageIconControl = 0x440;

// ---- Watchdog ---------------------------------------------------------------
// Arms a limit for the current test; when it passes, every started program is
// terminated and this process exits with code 124.
void armWatchdog(const char* testName, DWORD limitMs);
void disarmWatchdog();
// Installs a GoogleTest listener that arms the watchdog around every test and
// terminates programs a test left running.
void installWatchdogListener(DWORD perTestLimitMs);

// ---- Programs ---------------------------------------------------------------
struct Program {
    PROCESS_INFORMATION info{};
    bool running = false;
};

// The Windows path of a file beside the test executable (the programs are
// built into the same folder).
std::string programPath(const char* exeName);
// Starts exeName (beside this executable) with the given argument text and
// show command (STARTF_USESHOWWINDOW when showCommand >= 0).
bool startProgram(Program& program, const char* exeName, const char* arguments, int showCommand);
// Starts a console program with stdout and stderr sent to the given files.
bool startConsoleProgram(Program& program, const char* exeName, const char* arguments,
                         const std::string& stdoutFile, const std::string& stderrFile);
// Waits for the program to end; returns its exit code, or STILL_ACTIVE on timeout.
DWORD waitForExit(Program& program, DWORD timeoutMs);
void terminateProgram(Program& program);
// Every program started and not yet ended is terminated.
void terminateAllPrograms();

// ---- Windows ----------------------------------------------------------------
// A visible top-level window of the process with this class (and title, when given).
HWND findProcessWindow(DWORD processId, const char* className, const char* title);
HWND waitForProcessWindow(DWORD processId, const char* className, const char* title,
                          DWORD timeoutMs);
// The main window once it is visible and has finished start-up (the arrow cursor
// is back: approximated by the window being enabled and the menu present).
HWND waitForMainWindow(const Program& program, DWORD timeoutMs);
std::string windowText(HWND window);                 // GetWindowText (top-level)
std::string controlText(HWND dialog, int controlId);  // WM_GETTEXT, across processes
std::string className(HWND window);
// Menu command to the main window, posted (a test runs inside its handling).
void postCommand(HWND mainWindow, int id);
// Lets the program's message queue drain: a sent WM_NULL returns only once
// the window procedure is back at its message loop.
bool programIsIdle(HWND mainWindow, DWORD timeoutMs);

// ---- File dialogs -------------------------------------------------------------
HWND waitForFileDialog(DWORD processId, const char* title, DWORD timeoutMs);
// The text of the dialog's file name field.
std::string fileDialogName(HWND dialog);
void setFileDialogName(HWND dialog, const char* name);
// The selected filter, 0-based; sets it as a user would (with the notification).
int fileDialogFilter(HWND dialog);
void selectFileDialogFilter(HWND dialog, int zeroBasedIndex);
// Opens a folder in the dialog as a user would: its path typed, then OK.
bool browseFileDialogTo(HWND dialog, const std::string& folder);
// Presses OK or Cancel (posted: the dialog may show a box of its own).
void pressDialogButton(HWND dialog, int buttonId);
// Presses Cancel and waits until the dialog has closed.
bool cancelFileDialog(HWND dialog, DWORD timeoutMs);
// Types the name and presses OK; true when the dialog closed within the time.
bool confirmFileDialog(HWND dialog, const char* name, DWORD timeoutMs);

// ---- Message boxes ------------------------------------------------------------
struct MessageBoxSeen {
    HWND box = nullptr;
    std::string caption;
    std::string text;
};
// Waits for a message box (a #32770 window with a text control 0xFFFF) of the
// process, other than the windows in `ignore`.
bool waitForMessageBox(DWORD processId, MessageBoxSeen& seen, DWORD timeoutMs);
void dismissMessageBox(HWND box);
// The dominant hue of the box's icon, read from the screen: 'r' red (the
// error icon), 'b' blue (information), '?' otherwise or when none is found.
char messageBoxIconHue(HWND box);
// The platform's caption for a box shown with a null caption.
std::string defaultMessageBoxCaption();

// ---- Pixels -----------------------------------------------------------------
COLORREF clientPixel(HWND window, int x, int y);

// A BMP of a part of the screen (for the documentation's pictures).
bool saveScreenBitmap(const RECT& screenArea, const std::string& path);

// ---- Files ------------------------------------------------------------------
// A fresh, empty folder for one test: C:\trakmon-wine\<name>\ (created anew).
std::string freshFolder(const char* name);
// Size of a file in bytes, or -1 when it does not exist.
long long fileSize(const std::string& path);
// A file of exactly size bytes (sparse where the file system allows).
bool makeFileOfSize(const std::string& path, long long size);
std::string readWholeFile(const std::string& path);

// ---- Report texts -------------------------------------------------------------
std::vector<std::string> splitLines(const std::string& text);
// Checks every line of a results report ("\n"-separated, ending in "\n");
// returns "" when it is right, else what differs. elapsedMs receives the time read.
std::string checkResultsReport(const std::string& text, bool writeTest, uint32_t totalBytes,
                               uint32_t requestKBytes, uint32_t perFileSize, uint32_t trackCount,
                               uint32_t* elapsedMs);
