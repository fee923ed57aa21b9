// How a pass of stepCount requests maps onto a bar of at most 300 columns:
// a tick every stepsPerTick steps, pixelsPerTick columns per tick.
#pragma once
#include <cstdint>

const uint32_t maxBarWidth = 300;

struct ProgressScale {
    uint32_t stepsPerTick;
    uint32_t pixelsPerTick;
    uint32_t barWidth;  // columns a complete pass fills
};

ProgressScale scaleProgress(uint32_t stepCount);
