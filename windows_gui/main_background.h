// The main window's background.
#pragma once
#include <windows.h>

// The whole client area in 128 bands, from magenta down to near black.
void paintMainBackground(HWND window, HDC dc);
