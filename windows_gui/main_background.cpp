#include "windows_gui/main_background.h"

#include "windows_gui/background_bands.h"

void paintMainBackground(HWND window, HDC dc)
{
    RECT client;
    GetClientRect(window, &client);
    const int32_t bandHeight = backgroundBandHeight(client.bottom);
    RECT band = client;
    band.bottom = band.top + bandHeight;
    // One brush per band, gone before the next exists.
    for (uint32_t i = 0; i < bandCount; ++i) {
        HBRUSH brush = CreateSolidBrush(backgroundBandColour(i));
        FillRect(dc, &band, brush);
        DeleteObject(brush);
        band.top = band.bottom;
        band.bottom = band.top + bandHeight;
    }
}
