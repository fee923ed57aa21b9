#include "engine/progress_scale.h"

ProgressScale scaleProgress(uint32_t stepCount)
{
    ProgressScale scale;
    if (stepCount >= maxBarWidth) {
        scale.stepsPerTick = stepCount / maxBarWidth + 1;
        scale.pixelsPerTick = 1;
        scale.barWidth = stepCount / scale.stepsPerTick;
    } else if (stepCount > 0) {
        scale.stepsPerTick = 1;
        scale.pixelsPerTick = maxBarWidth / stepCount;
        scale.barWidth = scale.pixelsPerTick * stepCount;
    } else {
        scale.stepsPerTick = 1;
        scale.pixelsPerTick = maxBarWidth;
        scale.barWidth = maxBarWidth;
    }
    return scale;
}
