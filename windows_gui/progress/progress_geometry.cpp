#include "windows_gui/progress/progress_geometry.h"

WindowPosition progressWindowPosition(int32_t mainClientRight, int32_t mainClientBottom)
{
    WindowPosition position;
    position.x = (mainClientRight - progressWindowWidth) / 2;
    position.y = (mainClientBottom - progressWindowHeight) / 2;
    return position;
}

BarLayout progressBarLayout(int32_t clientWidth, int32_t clientHeight, uint32_t barWidth)
{
    const int32_t width = static_cast<int32_t>(barWidth);
    const int32_t barLeft = (clientWidth - width) / 2;
    BarLayout layout;
    layout.tickX = barLeft;
    layout.tickY = clientHeight - 16;
    layout.barFrame.left = barLeft - 2;
    layout.barFrame.top = clientHeight - 18;
    layout.barFrame.right = barLeft + width + 2;
    layout.barFrame.bottom = clientHeight - 4;
    return layout;
}
