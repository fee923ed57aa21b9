// trakmon32.exe driven from outside, as a user would: menu commands posted to
// its main window, file names typed into its dialogs, message boxes read and
// dismissed, pixels read off its window, track files looked at on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/wine/wine_harness.h"

namespace {

const DWORD startLimitMs = 20000;
const DWORD testRunLimitMs = 90000;  // one write or read test of about 100 MB

// A started trakmon32.exe with its main window, ended when the test ends.
struct RunningProgram {
    Program program;
    HWND main = nullptr;
    DWORD pid() const { return program.info.dwProcessId; }
};

void startTrakmon(RunningProgram& run, const char* arguments = "", int showCommand = -1)
{
    ASSERT_TRUE(startProgram(run.program, "trakmon32.exe", arguments, showCommand))
        << "cannot start " << programPath("trakmon32.exe") << ", error " << GetLastError();
    run.main = waitForMainWindow(run.program, startLimitMs);
    ASSERT_NE(run.main, nullptr) << "no idle TRAKMON32MAIN window within the start limit";
}

// Starts a test through the menu and answers its file dialog with path.
void runTestThroughDialog(RunningProgram& run, int command, const char* title,
                          const std::string& path)
{
    postCommand(run.main, command);
    HWND dialog = waitForFileDialog(run.pid(), title, 15000);
    ASSERT_NE(dialog, nullptr) << "no dialog titled '" << title << "'";
    ASSERT_TRUE(confirmFileDialog(dialog, path.c_str(), 15000))
        << "the dialog did not take '" << path << "'";
}

// overProgress: a pass that failed shows its box at once, over the
// "Standby..." window, which goes only after OK.
void expectErrorBox(RunningProgram& run, const char* text, bool overProgress = false)
{
    MessageBoxSeen box;
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs)) << "no message box";
    HWND progress = FindWindowExA(run.main, nullptr, "TRAKMON32MSG", nullptr);
    if (overProgress) {
        EXPECT_NE(progress, nullptr) << "no progress window under the box";
        EXPECT_TRUE(progress != nullptr && IsWindowVisible(progress));
        EXPECT_EQ(progress != nullptr ? windowText(progress) : "", "Standby...");
    } else {
        EXPECT_EQ(progress, nullptr) << "a progress window under the box";
    }
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, defaultMessageBoxCaption());
    EXPECT_EQ(GetWindow(box.box, GW_OWNER), run.main) << "the box is not owned by the main window";
    EXPECT_EQ(messageBoxIconHue(box.box), 'r') << "not the error icon";
    dismissMessageBox(box.box);
    EXPECT_TRUE(programIsIdle(run.main, 10000)) << "the program did not return to its loop";
    EXPECT_EQ(FindWindowExA(run.main, nullptr, "TRAKMON32MSG", nullptr), nullptr)
        << "the progress window outlived the test";
    // No further box follows.
    MessageBoxSeen more;
    EXPECT_FALSE(waitForMessageBox(run.pid(), more, 500)) << "unexpected box: " << more.text;
}

std::string trackName(const std::string& folder, const char* stem, int number)
{
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ".%03d", number);
    return folder + stem + suffix;
}

std::string saveScreenshotsTo()
{
    const char* folder = std::getenv("TRAKMON_SCREENSHOT_DIR");
    return folder != nullptr ? folder : "";
}

}  // namespace

// ---- Start-up -----------------------------------------------------------------

TEST(StartUp, MaximisedMainWindowWithClassTitleAndMenu)
{
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    EXPECT_EQ(className(run.main), "TRAKMON32MAIN");
    EXPECT_EQ(windowText(run.main), programTitle);
    EXPECT_TRUE(IsZoomed(run.main)) << "not maximised";
    EXPECT_FALSE(IsIconic(run.main));
    EXPECT_TRUE(IsWindowEnabled(run.main));
    EXPECT_NE(GetMenu(run.main), nullptr) << "no menu bar";
    EXPECT_EQ(GetWindowLongA(run.main, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(GetParent(run.main), nullptr);
    // No progress window and no box at rest.
    EXPECT_EQ(FindWindowExA(run.main, nullptr, "TRAKMON32MSG", nullptr), nullptr);
}

TEST(StartUp, CommandLineAndMinimisedShowCommandChangeNothing)
{
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run, "/min -tracks 72 C:\\nowhere\\x.wav", SW_SHOWMINIMIZED));
    EXPECT_TRUE(IsZoomed(run.main)) << "the minimised show command was followed";
    EXPECT_FALSE(IsIconic(run.main));
    EXPECT_EQ(windowText(run.main), programTitle);
}

TEST(StartUp, NormalShowCommandStillMaximises)
{
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run, "", SW_SHOWNORMAL));
    EXPECT_TRUE(IsZoomed(run.main));
}

// The bands are read back in gui_inprocess_tests: from another process Wine
// can show a picture that the program has since painted over.

// ---- Shutdown -------------------------------------------------------------------

TEST(Shutdown, ExitCommandEndsWithCodeZero)
{
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdExit);
    EXPECT_EQ(waitForExit(run.program, 10000), 0u);
}

TEST(Shutdown, CloseMessageEndsWithCodeZero)
{
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    PostMessageA(run.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(run.program, 10000), 0u);
}

TEST(Shutdown, TitleBarCloseEndsWithCodeZero)
{
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    PostMessageA(run.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(waitForExit(run.program, 10000), 0u);
}

TEST(Shutdown, UnknownCommandKeepsRunning)
{
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, 40018);
    postCommand(run.main, 1000);
    EXPECT_TRUE(programIsIdle(run.main, 5000));
    MessageBoxSeen box;
    EXPECT_FALSE(waitForMessageBox(run.pid(), box, 500)) << box.text;
    EXPECT_EQ(findProcessWindow(run.pid(), "#32770", nullptr), nullptr);
    EXPECT_EQ(waitForExit(run.program, 0), static_cast<DWORD>(STILL_ACTIVE));
}

// ---- The two tests through their dialogs ---------------------------------------

TEST(DiskTests, WriteThenRead12TracksThroughTheDialogs)
{
    std::string folder = freshFolder("twelve");
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdTracks12);

    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdWriteTest, writeDialogTitle, folder + "take.wav"));
    MessageBoxSeen box;
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs)) << "no write results";
    EXPECT_EQ(box.caption, "Disk Write Test Results");
    EXPECT_EQ(messageBoxIconHue(box.box), 'b') << "not the information icon";
    EXPECT_EQ(GetWindow(box.box, GW_OWNER), run.main);
    uint32_t elapsed = 0;
    EXPECT_EQ(checkResultsReport(box.text, true, 94371840, 128, 7864320, 12, &elapsed), "")
        << box.text;
    // The progress window is gone before the results show.
    EXPECT_EQ(FindWindowExA(run.main, nullptr, "TRAKMON32MSG", nullptr), nullptr);
    if (!saveScreenshotsTo().empty()) {
        RECT area;
        GetWindowRect(box.box, &area);
        InflateRect(&area, 24, 24);
        saveScreenBitmap(area, saveScreenshotsTo() + "\\results-box.bmp");
    }
    dismissMessageBox(box.box);
    ASSERT_TRUE(programIsIdle(run.main, 10000));

    for (int k = 1; k <= 12; ++k)
        EXPECT_EQ(fileSize(trackName(folder, "take", k)), 7864320) << "track " << k;
    EXPECT_EQ(fileSize(trackName(folder, "take", 13)), -1);
    EXPECT_EQ(fileSize(folder + "take.wav"), -1) << "the base file itself is not written";

    // The read test needs an existing base file in the open dialog.
    ASSERT_TRUE(makeFileOfSize(folder + "take.wav", 0));
    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdReadTest, readDialogTitle, folder + "take.wav"));
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs)) << "no read results";
    EXPECT_EQ(box.caption, "Disk Read Test Results");
    EXPECT_EQ(messageBoxIconHue(box.box), 'b');
    EXPECT_EQ(checkResultsReport(box.text, false, 94371840, 128, 7864320, 12, &elapsed), "")
        << box.text;
    dismissMessageBox(box.box);
    ASSERT_TRUE(programIsIdle(run.main, 10000));
    for (int k = 1; k <= 12; ++k)
        EXPECT_EQ(fileSize(trackName(folder, "take", k)), 7864320) << "read changed track " << k;

    postCommand(run.main, cmdExit);
    EXPECT_EQ(waitForExit(run.program, 10000), 0u);
}

TEST(DiskTests, WriteRequestSizeShowsInTheReportAndReadSizeIsSeparate)
{
    std::string folder = freshFolder("sizes");
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdTracks72);
    postCommand(run.main, cmdWrite512);
    postCommand(run.main, cmdRead32);
    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdWriteTest, writeDialogTitle, folder + "mix"));
    MessageBoxSeen box;
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs));
    EXPECT_EQ(box.caption, "Disk Write Test Results");
    EXPECT_EQ(checkResultsReport(box.text, true, 75497472, 512, 1048576, 72, nullptr), "")
        << box.text;
    dismissMessageBox(box.box);
    ASSERT_TRUE(programIsIdle(run.main, 10000));
    // A base name without a dot gets the suffix appended.
    EXPECT_EQ(fileSize(trackName(folder, "mix", 1)), 1048576);
    EXPECT_EQ(fileSize(trackName(folder, "mix", 72)), 1048576);
    EXPECT_EQ(fileSize(trackName(folder, "mix", 73)), -1);

    ASSERT_TRUE(makeFileOfSize(folder + "mix", 0));
    ASSERT_NO_FATAL_FAILURE(runTestThroughDialog(run, cmdReadTest, readDialogTitle, folder + "mix"));
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs));
    EXPECT_EQ(box.caption, "Disk Read Test Results");
    EXPECT_EQ(checkResultsReport(box.text, false, 75497472, 32, 1048576, 72, nullptr), "")
        << box.text;
    dismissMessageBox(box.box);
}

// ---- Read-test errors -----------------------------------------------------------

TEST(ReadErrors, MissingTrackFileShowsNotEnoughTrackFiles)
{
    std::string folder = freshFolder("missing");
    for (int k = 1; k <= 11; ++k) ASSERT_TRUE(makeFileOfSize(trackName(folder, "take", k), 7864320));
    ASSERT_TRUE(makeFileOfSize(folder + "take.wav", 0));
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdTracks12);
    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdReadTest, readDialogTitle, folder + "take.wav"));
    ASSERT_NO_FATAL_FAILURE(expectErrorBox(run, notEnoughTrackFilesText));
    // The eleven files opened before are closed again: they can be opened
    // exclusively now.
    HANDLE first = CreateFileA(trackName(folder, "take", 1).c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(first, INVALID_HANDLE_VALUE) << "track 1 is still held open";
    if (first != INVALID_HANDLE_VALUE) CloseHandle(first);
}

TEST(ReadErrors, ShortTrackFileShowsFileSizeIsTooSmall)
{
    std::string folder = freshFolder("short");
    // Written with 72 tracks, read with 1: file 001 holds 1 MB of the 99.6 MB needed.
    ASSERT_TRUE(makeFileOfSize(trackName(folder, "take", 1), 1048576));
    ASSERT_TRUE(makeFileOfSize(folder + "take.wav", 0));
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdReadTest, readDialogTitle, folder + "take.wav"));
    ASSERT_NO_FATAL_FAILURE(expectErrorBox(run, fileSizeTooSmallText));
}

TEST(ReadErrors, OneByteShortIsTooSmallAndExactSizePasses)
{
    std::string folder = freshFolder("edge");
    ASSERT_TRUE(makeFileOfSize(trackName(folder, "take", 1), 49807360));
    ASSERT_TRUE(makeFileOfSize(trackName(folder, "take", 2), 49807360 - 1));
    ASSERT_TRUE(makeFileOfSize(folder + "take.wav", 0));
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdTracks2);
    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdReadTest, readDialogTitle, folder + "take.wav"));
    ASSERT_NO_FATAL_FAILURE(expectErrorBox(run, fileSizeTooSmallText));
}

TEST(ReadErrors, TrackFileHeldOpenByAnotherProcess)
{
    std::string folder = freshFolder("held");
    ASSERT_TRUE(makeFileOfSize(trackName(folder, "take", 1), 99614720));
    ASSERT_TRUE(makeFileOfSize(folder + "take.wav", 0));
    HANDLE held = CreateFileA(trackName(folder, "take", 1).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdReadTest, readDialogTitle, folder + "take.wav"));
    ASSERT_NO_FATAL_FAILURE(expectErrorBox(run, notEnoughTrackFilesText));
    CloseHandle(held);
}

// ---- Dialogs ----------------------------------------------------------------------

TEST(Dialogs, CancelledDialogsChangeNothing)
{
    std::string folder = freshFolder("cancel");
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    for (int command : {cmdWriteTest, cmdReadTest}) {
        postCommand(run.main, command);
        HWND dialog = waitForFileDialog(
            run.pid(), command == cmdWriteTest ? writeDialogTitle : readDialogTitle, 15000);
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowEnabled(run.main)) << "the main window is not disabled under the dialog";
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), run.main);
        setFileDialogName(dialog, (folder + "take.wav").c_str());
        ASSERT_TRUE(cancelFileDialog(dialog, 15000));
        ASSERT_TRUE(programIsIdle(run.main, 10000));
        MessageBoxSeen box;
        EXPECT_FALSE(waitForMessageBox(run.pid(), box, 700)) << box.text;
        EXPECT_EQ(FindWindowExA(run.main, nullptr, "TRAKMON32MSG", nullptr), nullptr);
        EXPECT_TRUE(IsWindowEnabled(run.main));
    }
    EXPECT_EQ(fileSize(trackName(folder, "take", 1)), -1) << "a cancelled dialog touched files";
    postCommand(run.main, cmdExit);
    EXPECT_EQ(waitForExit(run.program, 10000), 0u);
}

TEST(Dialogs, MemoryCarriesNameFolderFilterAndExtensionBetweenUses)
{
    std::string folder = freshFolder("memory");
    ASSERT_TRUE(makeFileOfSize(folder + "other.wav", 0));
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdTracks72);  // the smallest files: 72 x 1 MB

    // First dialog: empty name, the first filter.
    postCommand(run.main, cmdWriteTest);
    HWND dialog = waitForFileDialog(run.pid(), writeDialogTitle, 15000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(fileDialogName(dialog), "");
    EXPECT_EQ(fileDialogFilter(dialog), 0);
    EXPECT_EQ(controlText(dialog, fileTypeControl), "All Files  *.*");
    selectFileDialogFilter(dialog, 1);
    EXPECT_EQ(controlText(dialog, fileTypeControl), "Wave File  *.wav");
    // Into the folder first, as a user would go: the dialog leaves the current
    // directory where it last browsed.
    ASSERT_TRUE(browseFileDialogTo(dialog, folder));
    ASSERT_TRUE(confirmFileDialog(dialog, "take.wav", 15000));
    MessageBoxSeen box;
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs));
    EXPECT_EQ(box.caption, "Disk Write Test Results");
    dismissMessageBox(box.box);
    ASSERT_TRUE(programIsIdle(run.main, 10000));

    // The open dialog starts where the save dialog ended: name, folder, filter.
    postCommand(run.main, cmdReadTest);
    dialog = waitForFileDialog(run.pid(), readDialogTitle, 15000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(fileDialogName(dialog), "take.wav");
    EXPECT_EQ(fileDialogFilter(dialog), 1);
    EXPECT_EQ(controlText(dialog, folderControl), "memory") << "not in the folder of take.wav";
    ASSERT_TRUE(confirmFileDialog(dialog, "other.wav", 15000));
    ASSERT_NO_FATAL_FAILURE(expectErrorBox(run, notEnoughTrackFilesText));

    // The save dialog shows the name that the open dialog returned. A bare
    // name gets the remembered extension as the default one.
    postCommand(run.main, cmdWriteTest);
    dialog = waitForFileDialog(run.pid(), writeDialogTitle, 15000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(fileDialogName(dialog), "other.wav");
    EXPECT_EQ(fileDialogFilter(dialog), 1);
    ASSERT_TRUE(confirmFileDialog(dialog, "next", 15000));
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs));
    EXPECT_EQ(box.caption, "Disk Write Test Results");
    dismissMessageBox(box.box);
    ASSERT_TRUE(programIsIdle(run.main, 10000));

    postCommand(run.main, cmdWriteTest);
    dialog = waitForFileDialog(run.pid(), writeDialogTitle, 15000);
    ASSERT_NE(dialog, nullptr);
    std::string extended = fileDialogName(dialog);
    EXPECT_EQ(extended.substr(0, 5), "next.") << "no default extension on '" << extended << "'";
    EXPECT_EQ(extended.substr(extended.size() - 3), "wav") << extended;
    ASSERT_TRUE(cancelFileDialog(dialog, 15000));
    ASSERT_TRUE(programIsIdle(run.main, 10000));

    // After the cancel: the same name, and no default extension any more, so a
    // bare name stays bare under "All Files" (a filter with an extension of
    // its own would lend it) and its track files follow it.
    postCommand(run.main, cmdWriteTest);
    dialog = waitForFileDialog(run.pid(), writeDialogTitle, 15000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(fileDialogName(dialog), extended);
    EXPECT_EQ(controlText(dialog, folderControl), "memory");
    selectFileDialogFilter(dialog, 0);
    ASSERT_TRUE(confirmFileDialog(dialog, "bare", 15000));
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs));
    EXPECT_EQ(box.caption, "Disk Write Test Results");
    dismissMessageBox(box.box);
    ASSERT_TRUE(programIsIdle(run.main, 10000));
    EXPECT_EQ(fileSize(trackName(folder, "bare", 72)), 1048576);

    postCommand(run.main, cmdWriteTest);
    dialog = waitForFileDialog(run.pid(), writeDialogTitle, 15000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(fileDialogName(dialog), "bare") << "an extension was added after the cancel";
    EXPECT_EQ(fileDialogFilter(dialog), 0);
    ASSERT_TRUE(cancelFileDialog(dialog, 15000));
    ASSERT_TRUE(programIsIdle(run.main, 10000));
}

// ---- Progress window while a test runs -------------------------------------------

TEST(DiskTests, ProgressWindowStandsCentredWhileATestRuns)
{
    std::string folder = freshFolder("progress");
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdTracks72);
    postCommand(run.main, cmdWrite32);  // 2304 requests: the slowest pass
    ASSERT_NO_FATAL_FAILURE(
        runTestThroughDialog(run, cmdWriteTest, writeDialogTitle, folder + "take.wav"));
    // Caught while the pass runs, or not at all on a disk too fast for it.
    HWND progress = nullptr;
    DWORD start = GetTickCount();
    MessageBoxSeen box;
    while (progress == nullptr && GetTickCount() - start < testRunLimitMs) {
        progress = FindWindowExA(run.main, nullptr, "TRAKMON32MSG", nullptr);
        if (progress == nullptr && findProcessWindow(run.pid(), "#32770", nullptr) != nullptr) break;
        if (progress == nullptr) Sleep(5);
    }
    if (progress != nullptr) {
        EXPECT_EQ(windowText(progress), "Standby...");
        RECT frame, client;
        GetWindowRect(progress, &frame);
        GetClientRect(run.main, &client);
        POINT corner{frame.left, frame.top};
        ScreenToClient(run.main, &corner);
        EXPECT_EQ(corner.x, (client.right - 320) / 2);
        EXPECT_EQ(corner.y, (client.bottom - 100) / 2);
        EXPECT_EQ(frame.right - frame.left, 320);
        EXPECT_EQ(frame.bottom - frame.top, 100);
    } else {
        std::printf("note: the pass ended before its progress window was seen\n");
    }
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs));
    EXPECT_EQ(box.caption, "Disk Write Test Results");
    EXPECT_EQ(checkResultsReport(box.text, true, 75497472, 32, 1048576, 72, nullptr), "") << box.text;
    dismissMessageBox(box.box);
}

// ---- A disk that fails: faultfs under the track files -------------------------------
// (A failed close cannot be shown here: Wine's CloseHandle succeeds whatever
// close(2) answers. The engine's handling of it is tested on the double.)

namespace {

// A fresh folder on faultfs (mounted for the run by tests/faultfs/faultfs-mount.sh,
// reached as a Z: path) with no fault rules in force; "" and the reason where
// the run has no such mount.
std::string freshFaultFolder(const char* name, std::string& why)
{
    const char* mount = std::getenv("TRAKMON_FAULTFS_MOUNT");
    if (mount == nullptr) {
        why = "TRAKMON_FAULTFS_MOUNT is not set";
        return "";
    }
    std::string root = std::string("Z:") + mount + "\\";
    std::replace(root.begin(), root.end(), '/', '\\');
    if (GetFileAttributesA((root + ".faultfs").c_str()) == INVALID_FILE_ATTRIBUTES) {
        why = "faultfs is not mounted at " + root + " (the output of wine.faultfs.mount says why)";
        return "";
    }
    std::string folder = root + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// Gives faultfs its rules through its control file, in the folder's parent.
bool controlFaults(const std::string& folder, const std::string& commands)
{
    std::string root = folder.substr(0, folder.find_last_of('\\', folder.size() - 2) + 1);
    HANDLE control = CreateFileA((root + ".faultfs").c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (control == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(control, commands.data(), static_cast<DWORD>(commands.size()), &written,
                        nullptr);
    return CloseHandle(control) && ok && written == commands.size();
}

// Nobody holds the file: it opens unshared.
bool heldByNoOne(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// A test through the dialog that must end with its results.
void expectCompletedTest(RunningProgram& run, bool write, const std::string& base)
{
    ASSERT_NO_FATAL_FAILURE(runTestThroughDialog(run, write ? cmdWriteTest : cmdReadTest,
                                                 write ? writeDialogTitle : readDialogTitle, base));
    MessageBoxSeen box;
    ASSERT_TRUE(waitForMessageBox(run.pid(), box, testRunLimitMs)) << "no results";
    EXPECT_EQ(box.caption, write ? "Disk Write Test Results" : "Disk Read Test Results");
    EXPECT_EQ(checkResultsReport(box.text, write, 94371840, 128, 7864320, 12, nullptr), "")
        << box.text;
    dismissMessageBox(box.box);
    EXPECT_TRUE(programIsIdle(run.main, 10000));
}

// Request 360 of 720 of a 12-track test fails: its box stands over the
// progress window; after OK the window is gone, every track file can be
// opened unshared, no report follows, and the same test then completes.
void failMidPassThenGoOn(bool write)
{
    std::string why;
    std::string folder = freshFaultFolder(write ? "write-error" : "read-error", why);
    if (folder.empty()) GTEST_SKIP() << why;
    std::string base = folder + "take.wav";
    if (!write) {
        for (int k = 1; k <= 12; ++k)
            ASSERT_TRUE(makeFileOfSize(trackName(folder, "take", k), 7864320));
        ASSERT_TRUE(makeFileOfSize(base, 0));
    }
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    postCommand(run.main, cmdTracks12);

    ASSERT_TRUE(controlFaults(folder, std::string("reset\n") + (write ? "write" : "read") +
                                          " 360 error EIO\n"));
    ASSERT_NO_FATAL_FAILURE(runTestThroughDialog(run, write ? cmdWriteTest : cmdReadTest,
                                                 write ? writeDialogTitle : readDialogTitle, base));
    ASSERT_NO_FATAL_FAILURE(expectErrorBox(
        run, write ? "Disk Write Error... Test Aborted!" : "Disk Read Error... Test Aborted!", true));
    for (int k = 1; k <= 12; ++k) {
        EXPECT_TRUE(heldByNoOne(trackName(folder, "take", k))) << "track " << k << " still open";
        // 359 requests went through: 30 to files 1-11, 29 to file 12.
        long long size = write ? (k <= 11 ? 30 : 29) * 131072ll : 7864320;
        EXPECT_EQ(fileSize(trackName(folder, "take", k)), size) << "track " << k;
    }

    ASSERT_TRUE(controlFaults(folder, "reset\n"));
    ASSERT_NO_FATAL_FAILURE(expectCompletedTest(run, write, base));
    postCommand(run.main, cmdExit);
    EXPECT_EQ(waitForExit(run.program, 10000), 0u);
}

}  // namespace

TEST(DiskFaults, WriteErrorMidPassAbortsOverTheProgressWindowAndTheProgramGoesOn)
{
    failMidPassThenGoOn(true);
}

TEST(DiskFaults, ReadErrorMidPassAbortsOverTheProgressWindowAndTheProgramGoesOn)
{
    failMidPassThenGoOn(false);
}

// ---- Pictures for the documentation ------------------------------------------------

TEST(Screenshots, MainWindowWithItsMenu)
{
    if (saveScreenshotsTo().empty()) GTEST_SKIP() << "TRAKMON_SCREENSHOT_DIR not set";
    RunningProgram run;
    ASSERT_NO_FATAL_FAILURE(startTrakmon(run));
    RECT area;
    GetWindowRect(run.main, &area);
    if (area.left < 0) area.left = 0;
    if (area.top < 0) area.top = 0;
    EXPECT_TRUE(saveScreenBitmap(area, saveScreenshotsTo() + "\\main-window.bmp"));
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Every test, with the programs it starts, ends within this limit.
    installWatchdogListener(200000);
    return RUN_ALL_TESTS();
}
