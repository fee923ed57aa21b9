// The main window's gradient: 128 horizontal bands from magenta at the top to
// nearly black at the bottom.
#pragma once
#include <cstdint>

const uint32_t bandCount = 128;

// Rows per band for a client area of the given height (rows below the last
// band keep the class's black background).
int32_t backgroundBandHeight(int32_t clientHeight);

// Band i's colour as a packed 0x00BBGGRR value: RGB(v, 0, v), v = 255 - 2i.
uint32_t backgroundBandColour(uint32_t band);
