// The Windows program: start-up, the main window and its procedure, shutdown.
#pragma once
#include <windows.h>

#include <cstdint>

#include "engine/front_end.h"

extern HINSTANCE appInstance;
extern HWND MainWindow;
extern HMENU mainMenu;

extern const char mainWindowClass[];  // "TRAKMON32MAIN"
extern const char mainWindowTitle[];

// Start-up failures: the string-table id of the message that describes them.
const uint32_t startupOk = 0;
const uint32_t startupClassFailed = 1;
const uint32_t startupWindowFailed = 2;
const uint32_t startupMemoryFailed = 6;

// Registers both classes, shows the maximised main window, allocates the
// transfer buffers and puts the default settings on the menu. appInstance
// must be set first. Returns startupOk or the failure's string id.
uint32_t initApplication();
// Frees readBuffer and writeBuffer, each only if allocated; safe to repeat.
void freeTransferBuffers();

// The engine's front end: the file dialogs, the progress window and the
// boxes of the main window.
FrontEnd windowsFrontEnd();

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Carries out one menu command (the low 16 bits of WM_COMMAND's wParam).
void runMenuCommand(uint32_t id);
