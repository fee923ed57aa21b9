#include "tests/wine/wine_harness.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Watchdog ---------------------------------------------------------------

static std::vector<HANDLE> startedProcesses;
static CRITICAL_SECTION processLock;
static bool processLockReady = false;
static HANDLE watchdogCancel = nullptr;
static HANDLE watchdogThread = nullptr;
static char watchdogTestName[256];
static DWORD watchdogLimitMs = 0;

static void lockProcesses()
{
    if (!processLockReady) {
        InitializeCriticalSection(&processLock);
        processLockReady = true;
    }
    EnterCriticalSection(&processLock);
}

static void unlockProcesses() { LeaveCriticalSection(&processLock); }

void terminateAllPrograms()
{
    lockProcesses();
    for (HANDLE process : startedProcesses) {
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 125);
            WaitForSingleObject(process, 5000);
        }
    }
    unlockProcesses();
}

static DWORD WINAPI watchdogMain(LPVOID)
{
    if (WaitForSingleObject(watchdogCancel, watchdogLimitMs) == WAIT_OBJECT_0) return 0;
    std::fprintf(stderr, "\nwatchdog: %s ran longer than %lu ms; ending it and its programs\n",
                 watchdogTestName, static_cast<unsigned long>(watchdogLimitMs));
    std::fflush(stderr);
    terminateAllPrograms();
    ExitProcess(124);
    return 0;
}

void armWatchdog(const char* testName, DWORD limitMs)
{
    disarmWatchdog();
    std::snprintf(watchdogTestName, sizeof watchdogTestName, "%s", testName);
    watchdogLimitMs = limitMs;
    watchdogCancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watchdogThread = CreateThread(nullptr, 0, watchdogMain, nullptr, 0, nullptr);
}

void disarmWatchdog()
{
    if (watchdogThread == nullptr) return;
    SetEvent(watchdogCancel);
    WaitForSingleObject(watchdogThread, INFINITE);
    CloseHandle(watchdogThread);
    CloseHandle(watchdogCancel);
    watchdogThread = nullptr;
    watchdogCancel = nullptr;
}

namespace {
class WatchdogListener : public testing::EmptyTestEventListener {
public:
    explicit WatchdogListener(DWORD limitMs) : limitMs_(limitMs) {}
    void OnTestStart(const testing::TestInfo& info) override
    {
        std::string name = std::string(info.test_suite_name()) + "." + info.name();
        armWatchdog(name.c_str(), limitMs_);
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        disarmWatchdog();
        terminateAllPrograms();
    }

private:
    DWORD limitMs_;
};
}  // namespace

void installWatchdogListener(DWORD perTestLimitMs)
{
    testing::UnitTest::GetInstance()->listeners().Append(new WatchdogListener(perTestLimitMs));
}

// ---- Programs ---------------------------------------------------------------

std::string programPath(const char* exeName)
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, length);
    size_t slash = path.find_last_of("\\/");
    return path.substr(0, slash + 1) + exeName;
}

static bool launch(Program& program, const std::string& commandLine, STARTUPINFOA& startup,
                   BOOL inheritHandles, DWORD flags)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    program = Program();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, inheritHandles, flags, nullptr,
                        nullptr, &startup, &program.info))
        return false;
    program.running = true;
    lockProcesses();
    startedProcesses.push_back(program.info.hProcess);
    unlockProcesses();
    return true;
}

bool startProgram(Program& program, const char* exeName, const char* arguments, int showCommand)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (showCommand >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
    }
    std::string commandLine = "\"" + programPath(exeName) + "\"";
    if (arguments != nullptr && arguments[0] != '\0') commandLine += std::string(" ") + arguments;
    return launch(program, commandLine, startup, FALSE, 0);
}

bool startConsoleProgram(Program& program, const char* exeName, const char* arguments,
                         const std::string& stdoutFile, const std::string& stderrFile)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(stdoutFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileA(stderrFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                            OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string commandLine = "\"" + programPath(exeName) + "\" " + arguments;
    bool started = launch(program, commandLine, startup, TRUE, CREATE_NO_WINDOW);
    CloseHandle(out);
    CloseHandle(err);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    return started;
}

DWORD waitForExit(Program& program, DWORD timeoutMs)
{
    if (!program.running) return STILL_ACTIVE;
    if (WaitForSingleObject(program.info.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(program.info.hProcess, &code);
    program.running = false;
    return code;
}

void terminateProgram(Program& program)
{
    if (!program.running) return;
    TerminateProcess(program.info.hProcess, 125);
    WaitForSingleObject(program.info.hProcess, 5000);
    program.running = false;
}

// ---- Windows ----------------------------------------------------------------

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* title;
    bool wantMessageBox;
    HWND found;
};

static BOOL CALLBACK matchWindow(HWND window, LPARAM parameter)
{
    WindowSearch& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window)) return TRUE;
    if (search.className != nullptr && className(window) != search.className) return TRUE;
    if (search.title != nullptr && windowText(window) != search.title) return TRUE;
    if (search.wantMessageBox && GetDlgItem(window, messageTextControl) == nullptr) return TRUE;
    search.found = window;
    return FALSE;
}

HWND findProcessWindow(DWORD processId, const char* wantedClass, const char* title)
{
    WindowSearch search{processId, wantedClass, title, false, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForProcessWindow(DWORD processId, const char* wantedClass, const char* title,
                          DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = findProcessWindow(processId, wantedClass, title);
        if (window != nullptr) return window;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(50);
    }
}

HWND waitForMainWindow(const Program& program, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND window = waitForProcessWindow(program.info.dwProcessId, "TRAKMON32MAIN", nullptr, timeoutMs);
    if (window == nullptr) return nullptr;
    // Start-up ends inside the first message loop: a sent message returns
    // only once the loop runs (the menu marks are set by then).
    DWORD left = timeoutMs - (GetTickCount() - start);
    if (!programIsIdle(window, left > timeoutMs ? 0 : left)) return nullptr;
    return window;
}

std::string windowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string controlText(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr) return "<no control>";
    char text[4096] = "";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    return text;
}

std::string className(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

void postCommand(HWND mainWindow, int id)
{
    PostMessageA(mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

bool programIsIdle(HWND mainWindow, DWORD timeoutMs)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored) != 0;
}

// ---- File dialogs -------------------------------------------------------------

HWND waitForFileDialog(DWORD processId, const char* title, DWORD timeoutMs)
{
    HWND dialog = waitForProcessWindow(processId, "#32770", title, timeoutMs);
    if (dialog == nullptr) return nullptr;
    // The dialog fills its controls after it becomes visible; wait for the
    // file name control and the filter list.
    DWORD start = GetTickCount();
    while (GetDlgItem(dialog, fileTypeControl) == nullptr ||
           (GetDlgItem(dialog, fileNameControl) == nullptr &&
            GetDlgItem(dialog, fileNameEditControl) == nullptr)) {
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(50);
    }
    Sleep(200);
    return dialog;
}

static HWND fileNameField(HWND dialog)
{
    HWND field = GetDlgItem(dialog, fileNameControl);
    return field != nullptr ? field : GetDlgItem(dialog, fileNameEditControl);
}

std::string fileDialogName(HWND dialog)
{
    char text[1024] = "";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(fileNameField(dialog), WM_GETTEXT, sizeof text,
                        reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
    return text;
}

void setFileDialogName(HWND dialog, const char* name)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(fileNameField(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
}

int fileDialogFilter(HWND dialog)
{
    DWORD_PTR selected = static_cast<DWORD_PTR>(-1);
    SendMessageTimeoutA(GetDlgItem(dialog, fileTypeControl), CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG,
                        5000, &selected);
    return static_cast<int>(selected);
}

void selectFileDialogFilter(HWND dialog, int zeroBasedIndex)
{
    HWND list = GetDlgItem(dialog, fileTypeControl);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(list, CB_SETCURSEL, zeroBasedIndex, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    // A choice with the mouse sends both notifications; the dialog takes the
    // new index on the second.
    SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(fileTypeControl, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list), SMTO_ABORTIFHUNG, 5000, &ignored);
    SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(fileTypeControl, CBN_SELENDOK),
                        reinterpret_cast<LPARAM>(list), SMTO_ABORTIFHUNG, 5000, &ignored);
}

bool browseFileDialogTo(HWND dialog, const std::string& folder)
{
    std::string name = folder;
    while (!name.empty() && name.back() == '\\') name.pop_back();
    name = name.substr(name.find_last_of('\\') + 1);
    setFileDialogName(dialog, folder.c_str());
    pressDialogButton(dialog, IDOK);
    // A folder is browsed into, not returned: the dialog stays and shows it.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        Sleep(100);
        if (!IsWindow(dialog)) return false;
        if (controlText(dialog, folderControl) == name) {
            setFileDialogName(dialog, "");
            return true;
        }
    }
    return false;
}

void pressDialogButton(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// Until the dialog is gone: a dialog still closing has the same title as the
// next one and would be taken for it.
static bool waitUntilClosed(HWND dialog, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(dialog) && IsWindowVisible(dialog)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

bool confirmFileDialog(HWND dialog, const char* name, DWORD timeoutMs)
{
    setFileDialogName(dialog, name);
    pressDialogButton(dialog, IDOK);
    return waitUntilClosed(dialog, timeoutMs);
}

bool cancelFileDialog(HWND dialog, DWORD timeoutMs)
{
    pressDialogButton(dialog, IDCANCEL);
    return waitUntilClosed(dialog, timeoutMs);
}

// ---- Message boxes ------------------------------------------------------------

bool waitForMessageBox(DWORD processId, MessageBoxSeen& seen, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        WindowSearch search{processId, "#32770", nullptr, true, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            // The text is set while the box is built; let it settle.
            Sleep(100);
            seen.box = search.found;
            seen.caption = windowText(search.found);
            seen.text = controlText(search.found, messageTextControl);
            return true;
        }
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
}

void dismissMessageBox(HWND box)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    DWORD start = GetTickCount();
    while (IsWindow(box) && GetTickCount() - start < 5000) Sleep(20);
}

char messageBoxIconHue(HWND box)
{
    HWND icon = GetDlgItem(box, messageIconControl);
    if (icon == nullptr) return '?';
    RECT area;
    GetWindowRect(icon, &area);
    HDC screen = GetDC(nullptr);
    int red = 0, blue = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            COLORREF c = GetPixel(screen, x, y);
            int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
            if (r > 150 && g < 100 && b < 100) ++red;
            if (b > 150 && r < 120 && b > g + 40) ++blue;
        }
    ReleaseDC(nullptr, screen);
    if (red > 40 && red > 3 * blue) return 'r';
    if (blue > 40 && blue > 3 * red) return 'b';
    return '?';
}

std::string defaultMessageBoxCaption() { return "Error"; }

// ---- Pixels -----------------------------------------------------------------

COLORREF clientPixel(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

bool saveScreenBitmap(const RECT& area, const std::string& path)
{
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((width * 3) + 3) & ~3u;
    DWORD imageSize = stride * height;
    BITMAPFILEHEADER header;
    ZeroMemory(&header, sizeof header);
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    bool saved = false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        saved = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                std::fwrite(&info.bmiHeader, sizeof(BITMAPINFOHEADER), 1, file) == 1 &&
                std::fwrite(bits, imageSize, 1, file) == 1;
        std::fclose(file);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

// ---- Files ------------------------------------------------------------------

static void removeTree(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string freshFolder(const char* name)
{
    std::string root = "C:\\trakmon-wine";
    CreateDirectoryA(root.c_str(), nullptr);
    std::string folder = root + "\\" + name;
    removeTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

long long fileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool makeFileOfSize(const std::string& path, long long size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER position;
    position.QuadPart = size;
    bool sized = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return sized;
}

std::string readWholeFile(const std::string& path)
{
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    std::fclose(file);
    return text;
}

// ---- Report texts -------------------------------------------------------------

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

static std::string formatText(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string checkResultsReport(const std::string& text, bool writeTest, uint32_t totalBytes,
                               uint32_t requestKBytes, uint32_t perFileSize, uint32_t trackCount,
                               uint32_t* elapsedMs)
{
    const std::string rule =
        "- - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - -";
    std::vector<std::string> lines = splitLines(text);
    // 19 lines, then the final line break leaves an empty 20th piece.
    if (lines.size() != 20) return formatText("%u lines instead of 19 and a final line break",
                                              static_cast<unsigned>(lines.size()) - 1);
    unsigned long ms = 0;
    char tail[8] = "";
    if (std::sscanf(lines[2].c_str(), "Total Time In Milliseconds = %lu%1s", &ms, tail) != 1 ||
        lines[2] != formatText("Total Time In Milliseconds = %lu", ms))
        return "line 3: '" + lines[2] + "'";
    if (elapsedMs != nullptr) *elapsedMs = static_cast<uint32_t>(ms);
    uint32_t rate = ms == 0 ? 0 : totalBytes / static_cast<uint32_t>(ms);
    double n = static_cast<double>(trackCount);
    std::vector<std::string> expected = {
        formatText(writeTest ? "Total Bytes Written = %lu" : "Total Bytes Read = %lu",
                   static_cast<unsigned long>(totalBytes)),
        "",
        lines[2],
        "",
        rule,
        formatText("Actual Transfer Rate = %lu KBytes/Sec", static_cast<unsigned long>(rate)),
        rule,
        "",
        formatText(writeTest ? "Write Request Size = %u KBytes" : "Read Request Size = %u KBytes",
                   requestKBytes),
        "",
        formatText("Individual File Size = %u Bytes", perFileSize),
        "",
        "General Track Configuration Transfer Rates:",
        rule,
        formatText("%u Track(s) Of 44100 Mono 16 Bit Files =  %#2.2f KBytes/Sec", trackCount,
                   n * 88200 * 0.001),
        formatText("%u Track(s) Of 44100 Mono 24 Bit Files =  %#2.2f KBytes/Sec", trackCount,
                   n * 132300 * 0.001),
        "",
        formatText("%u Track(s) Of 44100 Stereo 16 Bit Files =  %#2.2f KBytes/Sec", trackCount,
                   n * 176400 * 0.001),
        formatText("%u Track(s) Of 44100 Stereo 24 Bit Files =  %#2.2f KBytes/Sec", trackCount,
                   n * 264600 * 0.001),
        "",
    };
    for (size_t i = 0; i < expected.size(); ++i)
        if (lines[i] != expected[i])
            return formatText("line %u: '%s' instead of '%s'", static_cast<unsigned>(i + 1),
                              lines[i].c_str(), expected[i].c_str());
    return "";
}
