// Where the progress window and its bar lie, and the main window's bands.
#include <gtest/gtest.h>

#include "windows_gui/background_bands.h"
#include "windows_gui/progress/progress_geometry.h"
#include "engine/progress_scale.h"

namespace {

TEST(ProgressWindowPosition, CentredInTheMainClientArea)
{
    WindowPosition position = progressWindowPosition(1024, 700);
    EXPECT_EQ(position.x, 352);
    EXPECT_EQ(position.y, 300);
}

TEST(ProgressWindowPosition, NarrowClientTruncatesTowardZero)
{
    EXPECT_EQ(progressWindowPosition(301, 700).x, -9) << "(301 - 320) / 2, not -10";
    EXPECT_EQ(progressWindowPosition(0, 0).x, -160);
    EXPECT_EQ(progressWindowPosition(0, 0).y, -50);
}

TEST(ProgressBarLayout, FrameAndTicksForAKnownClientArea)
{
    // One track at 128 KB requests: 760 steps, 253 columns.
    ProgressScale scale = scaleProgress(760);
    ASSERT_EQ(scale.barWidth, 253u);
    BarLayout layout = progressBarLayout(314, 72, scale.barWidth);
    EXPECT_EQ(layout.tickX, 30);  // (314 - 253) / 2
    EXPECT_EQ(layout.tickY, 56);
    EXPECT_EQ(layout.barFrame.left, 28);
    EXPECT_EQ(layout.barFrame.top, 54);
    EXPECT_EQ(layout.barFrame.right, 285);
    EXPECT_EQ(layout.barFrame.bottom, 68);
}

TEST(ProgressBarLayout, TickedAreaIsExactlyTheBarInsideTheFrame)
{
    for (uint32_t steps : {0u, 1u, 2u, 7u, 144u, 150u, 299u, 300u, 599u, 600u, 760u, 2304u, 3040u}) {
        ProgressScale scale = scaleProgress(steps);
        BarLayout layout = progressBarLayout(314, 75, scale.barWidth);
        const PixelRect& frame = layout.barFrame;
        EXPECT_EQ(layout.tickX, frame.left + 2) << steps;
        EXPECT_EQ(layout.tickY, frame.top + 2) << steps << ": a restart goes back to the same row";
        EXPECT_EQ(frame.right - 2 - (frame.left + 2), static_cast<int32_t>(scale.barWidth)) << steps;
        EXPECT_EQ(frame.bottom - 2 - (frame.top + 2), tickLineHeight) << steps;
    }
}

TEST(ProgressBarLayout, BarWiderThanTheClientStartsLeftOfIt)
{
    BarLayout layout = progressBarLayout(200, 75, 300);
    EXPECT_EQ(layout.tickX, -50) << "signed arithmetic, not a wrapped unsigned width";
    EXPECT_EQ(layout.barFrame.right, 252);
}

TEST(BackgroundBands, HeightIsTheClientHeightOver128)
{
    EXPECT_EQ(backgroundBandHeight(700), 5);
    EXPECT_EQ(backgroundBandHeight(700) * static_cast<int32_t>(bandCount), 640)
        << "rows 640 to 699 stay black";
    EXPECT_EQ(backgroundBandHeight(1280), 10);
    EXPECT_EQ(backgroundBandHeight(127), 0);
    EXPECT_EQ(backgroundBandHeight(100), 0);
    EXPECT_EQ(backgroundBandHeight(0), 0);
}

TEST(BackgroundBands, ColoursRunFromMagentaToNearBlack)
{
    EXPECT_EQ(backgroundBandColour(0), 0x00FF00FFu);
    EXPECT_EQ(backgroundBandColour(1), 0x00FD00FDu);
    EXPECT_EQ(backgroundBandColour(64), 0x007F007Fu);
    EXPECT_EQ(backgroundBandColour(127), 0x00010001u);
    for (uint32_t band = 0; band < bandCount; ++band) {
        uint32_t colour = backgroundBandColour(band);
        uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = colour >> 16;
        EXPECT_EQ(green, 0u) << band;
        EXPECT_EQ(red, blue) << band;
        EXPECT_EQ(red, 255u - 2 * band) << band;
    }
}

}  // namespace
