// ZAT Hard Disk Speed Test, the Windows program: can this disk stream as many
// audio tracks at once as a multi-track recorder needs?
#include <windows.h>

#include "windows_gui/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    appInstance = instance;
    uint32_t code = initApplication();
    if (code != startupOk) {
        char text[260] = "";
        LoadStringA(appInstance, code, text, sizeof text);
        MessageBoxA(nullptr, text, nullptr, MB_ICONERROR);
        freeTransferBuffers();
        return 0;
    }

    // GetMessageA answers -1 on an error; that ends the loop too, rather than
    // spinning on it.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    freeTransferBuffers();
    return 0;  // PostQuitMessage(0) is the only way here: the exit code is 0
}
