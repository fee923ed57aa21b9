#include <gtest/gtest.h>

#include "engine/progress_scale.h"

TEST(ProgressScaleTest, StepsToColumns)
{
    struct Row {
        uint32_t steps, stepsPerTick, pixelsPerTick, barWidth;
    };
    const Row rows[] = {
        {0, 1, 300, 300},   {1, 1, 300, 300},   {2, 1, 150, 300},  {7, 1, 42, 294},
        {150, 1, 2, 300},   {299, 1, 1, 299},   {300, 2, 1, 150},  {599, 2, 1, 299},
        {600, 3, 1, 200},   {760, 3, 1, 253},   {144, 1, 2, 288},  {2304, 8, 1, 288},
        {3040, 11, 1, 276},
    };
    for (const Row& row : rows) {
        ProgressScale scale = scaleProgress(row.steps);
        EXPECT_EQ(scale.stepsPerTick, row.stepsPerTick) << row.steps;
        EXPECT_EQ(scale.pixelsPerTick, row.pixelsPerTick) << row.steps;
        EXPECT_EQ(scale.barWidth, row.barWidth) << row.steps;
        // A complete pass draws exactly barWidth columns, never more than 300.
        uint32_t steps = row.steps == 0 ? 1 : row.steps;
        EXPECT_EQ(steps / scale.stepsPerTick * scale.pixelsPerTick, scale.barWidth) << row.steps;
        EXPECT_LE(scale.barWidth, maxBarWidth);
    }
}
