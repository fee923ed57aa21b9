#include "windows_gui/background_bands.h"

int32_t backgroundBandHeight(int32_t clientHeight)
{
    return clientHeight / static_cast<int32_t>(bandCount);
}

uint32_t backgroundBandColour(uint32_t band)
{
    uint32_t v = 255 - 2 * band;
    return v * 0x10001u;
}
