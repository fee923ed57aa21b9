// The "Standby..." child window with its bevelled progress bar. A test runs
// inside a menu command with no message loop running, so the bar is drawn
// straight into the window's own device context (class style CS_OWNDC)
// rather than through repaint requests. openProgress .. closeProgress are
// declared with the engine's front end (engine/front_end.h).
#pragma once
#include <windows.h>

#include "engine/front_end.h"

// Window procedure of the class TRAKMON32MSG.
LRESULT CALLBACK progressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The open window, or null (for tests that look at it).
HWND progressWindowHandle();
