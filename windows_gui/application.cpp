#include "windows_gui/application.h"

#include <cstring>

#include "windows_gui/settings_menu.h"
#include "windows_gui/dialogs/dialog_memory.h"
#include "windows_gui/dialogs/file_dialogs.h"
#include "windows_gui/main_background.h"
#include "engine/front_end.h"
#include "engine/disk_read.h"
#include "engine/settings.h"
#include "engine/disk_write.h"
#include "platform/platform.h"
#include "windows_gui/progress/progress_window.h"
#include "windows_gui/resources/resource_ids.h"

HINSTANCE appInstance;
HWND MainWindow;
HMENU mainMenu;

const char mainWindowClass[] = "TRAKMON32MAIN";
const char mainWindowTitle[] = "ZAT Hard Disk Speed Test 32Bit Utility - Ver 2.0";

static const UINT mainClassStyle = CS_BYTEALIGNCLIENT | CS_HREDRAW | CS_VREDRAW;   // 4099
static const UINT progressClassStyle = CS_BYTEALIGNCLIENT | CS_SAVEBITS | CS_OWNDC;  // 6176

static void setMenuCheckMark(uint32_t id, bool checked)
{
    CheckMenuItem(mainMenu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

uint32_t initApplication()
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));

    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = mainClassStyle;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = appInstance;
    windowClass.hIcon = LoadIconA(appInstance, MAIN_ICON_NAME);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    windowClass.lpszMenuName = MAIN_MENU_NAME;
    windowClass.lpszClassName = mainWindowClass;
    if (RegisterClassA(&windowClass) == 0) return startupClassFailed;

    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = progressClassStyle;
    windowClass.lpfnWndProc = progressWindowProc;
    windowClass.hInstance = appInstance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = progressWindowClass;
    if (RegisterClassA(&windowClass) == 0) return startupClassFailed;

    MainWindow = CreateWindowExA(0, mainWindowClass, mainWindowTitle, WS_OVERLAPPEDWINDOW,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 nullptr, nullptr, appInstance, nullptr);
    if (MainWindow == nullptr) return startupWindowFailed;
    mainMenu = GetMenu(MainWindow);
    ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
    UpdateWindow(MainWindow);

    readBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    if (readBuffer == nullptr) return startupMemoryFailed;
    writeBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    if (writeBuffer == nullptr) return startupMemoryFailed;

    resetDialogMemory();
    selectTrackCount(TestSettings.trackCount, setMenuCheckMark);
    selectReadRequestSize(TestSettings.readRequestSize, setMenuCheckMark);
    selectWriteRequestSize(TestSettings.writeRequestSize, setMenuCheckMark);

    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return startupOk;
}

void freeTransferBuffers()
{
    if (readBuffer != nullptr) platformFreeTransferBuffer(readBuffer);
    readBuffer = nullptr;
    if (writeBuffer != nullptr) platformFreeTransferBuffer(writeBuffer);
    writeBuffer = nullptr;
}

// The engine's front end: the file dialogs, the progress window and boxes
// owned by the main window.

static const char* chooseWrite(void*)
{
    return chooseWriteBaseFile(MainWindow) ? writeDialogPath : nullptr;
}

static const char* chooseRead(void*)
{
    return chooseReadBaseFile(MainWindow) ? readDialogPath : nullptr;
}

static void openProgressWindow(void*, uint32_t stepCount)
{
    openProgress(MainWindow, appInstance, stepCount);
}
static void showCaption(void*, const char* text) { showProgressCaption(text); }
static void advanceBar(void*) { advanceProgress(); }
static void restartBar(void*) { restartProgress(); }
static void closeProgressWindow(void*) { closeProgress(); }
static void repaintMain(void*) { UpdateWindow(MainWindow); }

static void showBox(void*, EngineMessage, const char* text, const char* caption, uint32_t flags)
{
    MessageBoxA(MainWindow, text, caption, flags);
}

static void showResults(void*, const ResultsInputs&, const char* text, const char* caption)
{
    MessageBoxA(MainWindow, text, caption, messageIconInformation);
}

static void noteFailure(void*, TrackFileCall, const char*, IoStatus) {}
static void notePlan(void*, const TestPlan&) {}
static void notePassReadings(void*, const PassReadings&) {}

FrontEnd windowsFrontEnd()
{
    FrontEnd frontEnd{};
    frontEnd.trackNameRule = extensionAnywhereInPath;
    frontEnd.chooseWriteBaseFile = chooseWrite;
    frontEnd.chooseReadBaseFile = chooseRead;
    frontEnd.openProgress = openProgressWindow;
    frontEnd.showProgressCaption = showCaption;
    frontEnd.advanceProgress = advanceBar;
    frontEnd.restartProgress = restartBar;
    frontEnd.closeProgress = closeProgressWindow;
    frontEnd.repaintMainWindow = repaintMain;
    frontEnd.showMessageBox = showBox;
    frontEnd.showResultsBox = showResults;
    frontEnd.noteTrackFileFailure = noteFailure;
    frontEnd.notePlan = notePlan;
    frontEnd.notePassReadings = notePassReadings;
    frontEnd.noteTransferFailure = noteFailure;
    return frontEnd;
}

void runMenuCommand(uint32_t id)
{
    MenuCommand command = findMenuCommand(id);
    switch (command.action) {
    case menuWriteTest:
        runWriteTest(windowsFrontEnd());
        break;
    case menuReadTest:
        runReadTest(windowsFrontEnd());
        break;
    case menuExit:
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
        break;
    case menuTrackCount:
        selectTrackCount(command.value, setMenuCheckMark);
        break;
    case menuReadRequestSize:
        selectReadRequestSize(command.value, setMenuCheckMark);
        break;
    case menuWriteRequestSize:
        selectWriteRequestSize(command.value, setMenuCheckMark);
        break;
    case menuNoAction:
        break;
    }
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        paintMainBackground(window, dc);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        if (window == MainWindow) PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        runMenuCommand(LOWORD(wParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
