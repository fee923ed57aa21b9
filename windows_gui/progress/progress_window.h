// The "Standby..." child window with its bevelled progress bar. A test runs
// inside a menu command with no message loop running, so the bar is drawn
// straight into the window's own device context (class style CS_OWNDC)
// rather than through repaint requests.
#pragma once
#include <windows.h>

#include <cstdint>

// The window class, registered by the program.
extern const char progressWindowClass[];  // "TRAKMON32MSG"

// The bar of a pass of stepCount requests: a tick every few steps (the tick
// rule of progress_scale), the window made on the first opening, centred in
// owner's client area, a child of owner.
void openProgress(HWND owner, HINSTANCE instance, uint32_t stepCount);
void showProgressCaption(const char* text);
void advanceProgress();
void restartProgress();
void closeProgress();

// Window procedure of the class TRAKMON32MSG.
LRESULT CALLBACK progressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The open window, or null (for tests that look at it).
HWND progressWindowHandle();
