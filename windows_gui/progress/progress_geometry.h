// Where the "Standby..." window stands and where its bar lies inside it.
#pragma once
#include <cstdint>

const int32_t progressWindowWidth = 320;
const int32_t progressWindowHeight = 100;
const int32_t tickLineHeight = 10;

struct PixelRect {
    int32_t left, top, right, bottom;
};

struct WindowPosition {
    int32_t x, y;
};

// Centred in the main window's client area (client coordinates). Signed
// division: a client area narrower than the window gives a negative origin.
WindowPosition progressWindowPosition(int32_t mainClientRight, int32_t mainClientBottom);

struct BarLayout {
    PixelRect barFrame;  // the bevelled frame's outer rectangle
    int32_t tickX;       // column of the first tick
    int32_t tickY;       // row where every tick line starts
};

// The bar of barWidth columns, centred near the bottom of a client area of
// clientWidth x clientHeight. The ticked area is (frame.left + 2, frame.top + 2)
// to (frame.right - 2, frame.bottom - 2), right and bottom exclusive.
BarLayout progressBarLayout(int32_t clientWidth, int32_t clientHeight, uint32_t barWidth);
