#include "windows_gui/progress/progress_window.h"

#include "windows_gui/progress/progress_geometry.h"
#include "engine/progress_scale.h"

struct ProgressWindowState {
    HWND window;
    HDC progressDC;
    RECT progressClientRect;
    HBRUSH backgroundBrush;  // RGB(192, 192, 192): the client area
    HBRUSH emptyBarBrush;    // RGB(128, 128, 128): the bar not yet done
};

struct ProgressBarState {
    uint32_t stepsPerTick;
    uint32_t stepCountdown;
    uint32_t pixelsPerTick;
    RECT barFrame;
    int32_t tickX;
    int32_t tickY;
    int32_t tickHeight;
};

const char progressWindowClass[] = "TRAKMON32MSG";

static ProgressWindowState ProgressWindow;
static ProgressBarState ProgressBar = {1, 1, 1, {0, 0, 0, 0}, 0, 0, tickLineHeight};

HWND progressWindowHandle()
{
    return ProgressWindow.window;
}

static void moveToTick(HDC dc)
{
    MoveToEx(dc, ProgressBar.tickX, ProgressBar.tickY, nullptr);
}

void openProgress(HWND owner, HINSTANCE instance, uint32_t stepCount)
{
    ProgressScale scale = scaleProgress(stepCount);
    ProgressBar.stepsPerTick = scale.stepsPerTick;
    ProgressBar.pixelsPerTick = scale.pixelsPerTick;

    RECT ownerClient;
    GetClientRect(owner, &ownerClient);
    if (ProgressWindow.window == nullptr) {
        WindowPosition position = progressWindowPosition(ownerClient.right, ownerClient.bottom);
        ProgressWindow.window =
            CreateWindowExA(WS_EX_TOPMOST, progressWindowClass, "Standby...", WS_CHILD | WS_CAPTION,
                            position.x, position.y, progressWindowWidth, progressWindowHeight,
                            owner, nullptr, instance, nullptr);
        // Without a window there is nothing to draw on; the test runs regardless.
        if (ProgressWindow.window == nullptr) return;
    }

    HBRUSH oldBackground = ProgressWindow.backgroundBrush;
    HBRUSH oldEmptyBar = ProgressWindow.emptyBarBrush;
    ProgressWindow.progressDC = GetDC(ProgressWindow.window);
    HDC dc = ProgressWindow.progressDC;
    SetBkMode(dc, TRANSPARENT);
    ProgressWindow.backgroundBrush = CreateSolidBrush(RGB(192, 192, 192));
    ProgressWindow.emptyBarBrush = CreateSolidBrush(RGB(128, 128, 128));
    SelectObject(dc, ProgressWindow.emptyBarBrush);
    // Opened again while open: the brushes of the last opening are no longer
    // selected anywhere and can go.
    if (oldBackground != nullptr) DeleteObject(oldBackground);
    if (oldEmptyBar != nullptr) DeleteObject(oldEmptyBar);

    GetClientRect(ProgressWindow.window, &ProgressWindow.progressClientRect);
    ProgressBar.stepCountdown = ProgressBar.stepsPerTick;

    BarLayout layout = progressBarLayout(ProgressWindow.progressClientRect.right,
                                         ProgressWindow.progressClientRect.bottom, scale.barWidth);
    ProgressBar.tickX = layout.tickX;
    ProgressBar.tickY = layout.tickY;
    ProgressBar.tickHeight = tickLineHeight;
    ProgressBar.barFrame.left = layout.barFrame.left;
    ProgressBar.barFrame.top = layout.barFrame.top;
    ProgressBar.barFrame.right = layout.barFrame.right;
    ProgressBar.barFrame.bottom = layout.barFrame.bottom;

    ShowWindow(ProgressWindow.window, SW_SHOW);
    UpdateWindow(ProgressWindow.window);
    moveToTick(dc);
}

// Background, sunken frame and the done part of the bar; not the caption.
static void paintProgressWindow()
{
    HDC dc = ProgressWindow.progressDC;
    const RECT& frame = ProgressBar.barFrame;

    FillRect(dc, &ProgressWindow.progressClientRect, ProgressWindow.backgroundBrush);
    Rectangle(dc, frame.left, frame.top, frame.right, frame.bottom);

    MoveToEx(dc, frame.left + 1, frame.bottom - 1, nullptr);
    LineTo(dc, frame.left + 1, frame.top + 1);
    LineTo(dc, frame.right - 1, frame.top + 1);

    SelectObject(dc, GetStockObject(WHITE_PEN));
    MoveToEx(dc, frame.left + 1, frame.bottom - 1, nullptr);
    LineTo(dc, frame.right - 1, frame.bottom - 1);
    LineTo(dc, frame.right - 1, frame.top + 1);
    SelectObject(dc, GetStockObject(BLACK_PEN));

    if (ProgressBar.tickX != frame.left + 2) {
        RECT done = {frame.left + 2, frame.top + 2, ProgressBar.tickX, frame.bottom - 2};
        FillRect(dc, &done, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    moveToTick(dc);
}

void showProgressCaption(const char* text)
{
    if (ProgressWindow.progressDC == nullptr) return;
    DrawTextA(ProgressWindow.progressDC, text, -1, &ProgressWindow.progressClientRect, DT_CENTER);
}

void advanceProgress()
{
    if (--ProgressBar.stepCountdown != 0) return;
    HDC dc = ProgressWindow.progressDC;
    if (dc != nullptr) {
        for (uint32_t line = 0; line < ProgressBar.pixelsPerTick; ++line) {
            LineTo(dc, ProgressBar.tickX, ProgressBar.tickY + ProgressBar.tickHeight);
            ++ProgressBar.tickX;
            moveToTick(dc);
        }
    }
    ProgressBar.stepCountdown = ProgressBar.stepsPerTick;
}

void restartProgress()
{
    const RECT& frame = ProgressBar.barFrame;
    ProgressBar.tickX = frame.left + 2;
    ProgressBar.tickY = frame.top + 2;
    ProgressBar.stepCountdown = ProgressBar.stepsPerTick;
    HDC dc = ProgressWindow.progressDC;
    if (dc == nullptr) return;
    RECT bar = {frame.left + 2, frame.top + 2, frame.right - 2, frame.bottom - 2};
    FillRect(dc, &bar, ProgressWindow.emptyBarBrush);
    moveToTick(dc);
}

void closeProgress()
{
    if (ProgressWindow.window == nullptr) return;
    // A brush still selected into a context cannot be deleted: put a stock
    // brush in its place first, or every test would leak one.
    SelectObject(ProgressWindow.progressDC, GetStockObject(WHITE_BRUSH));
    ReleaseDC(ProgressWindow.window, ProgressWindow.progressDC);
    DeleteObject(ProgressWindow.backgroundBrush);
    DeleteObject(ProgressWindow.emptyBarBrush);
    DestroyWindow(ProgressWindow.window);
    ProgressWindow.window = nullptr;
    ProgressWindow.progressDC = nullptr;
    ProgressWindow.backgroundBrush = nullptr;
    ProgressWindow.emptyBarBrush = nullptr;
}

LRESULT CALLBACK progressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        if (window == ProgressWindow.window && ProgressWindow.progressDC != nullptr)
            paintProgressWindow();
        EndPaint(window, &paint);
        return 0;
    }
    case WM_NCLBUTTONDOWN:  // the window stays where it was put: no dragging
    case WM_COMMAND:
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
