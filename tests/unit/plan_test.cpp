#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/plan.h"
#include "engine/settings.h"

namespace {

struct PlanRow {
    uint32_t trackCount, sizeMultiplier, totalTestBytes, perFileSize;
    uint32_t steps[5];  // 32, 64, 128, 256, 512 KB
};

const PlanRow planTable[] = {
    {1, 190, 99614720, 99614720, {3040, 1520, 760, 380, 190}},
    {2, 95, 99614720, 49807360, {3040, 1520, 760, 380, 190}},
    {12, 15, 94371840, 7864320, {2880, 1440, 720, 360, 180}},
    {24, 7, 88080384, 3670016, {2688, 1344, 672, 336, 168}},
    {36, 5, 94371840, 2621440, {2880, 1440, 720, 360, 180}},
    {48, 3, 75497472, 1572864, {2304, 1152, 576, 288, 144}},
    {60, 3, 94371840, 1572864, {2880, 1440, 720, 360, 180}},
    {72, 2, 75497472, 1048576, {2304, 1152, 576, 288, 144}},
};

TEST(PlanTest, EveryTrackCountAndRequestSize)
{
    for (const PlanRow& row : planTable) {
        for (uint32_t i = 0; i < requestSizeChoiceCount; ++i) {
            TestPlan plan = planTest(row.trackCount, requestSizeChoices[i], 524288, 100000000);
            SCOPED_TRACE(testing::Message() << row.trackCount << " tracks, " << requestSizeChoices[i]);
            EXPECT_EQ(plan.sizeMultiplier, row.sizeMultiplier);
            EXPECT_EQ(plan.totalTestBytes, row.totalTestBytes);
            EXPECT_EQ(plan.perFileSize, row.perFileSize);
            EXPECT_EQ(plan.stepCount, row.steps[i]);
            EXPECT_EQ(plan.trackCount, row.trackCount);
            EXPECT_EQ(plan.requestSize, requestSizeChoices[i]);
        }
    }
}

TEST(PlanTest, StepCountRoundsUpARemainder)
{
    // Not reachable with the menu's sizes, but the rule is a ceiling.
    TestPlan plan = planTest(1, 300000, 524288, 100000000);
    EXPECT_EQ(plan.stepCount, 99614720u / 300000u + 1u);
}

TEST(PlanTest, FreeSpaceConditionIsStrictAndSixtyFourBit)
{
    EXPECT_FALSE(enoughFreeSpace(94371840ull + 512000, 94371840));
    EXPECT_TRUE(enoughFreeSpace(94371840ull + 512001, 94371840));
    EXPECT_FALSE(enoughFreeSpace(0, 75497472));
    // 4 GiB and more: never judged by the low 32 bits.
    EXPECT_TRUE(enoughFreeSpace(4294967296ull, 99614720));
    EXPECT_TRUE(enoughFreeSpace(4294967296ull + 1000, 99614720));
}

std::string trackName(const char* base, uint32_t number)
{
    // Named in turn from 1, as the tests do, on one working buffer.
    char path[trackFileNameSize];
    std::snprintf(path, sizeof path, "%s", base);
    for (uint32_t n = 1; n <= number; ++n) formatTrackFileName(path, n);
    return path;
}

TEST(TrackFileNameTest, LastDotAnywhereInThePath)
{
    EXPECT_EQ(trackName("D:\\Audio\\take.wav", 1), "D:\\Audio\\take.001");
    EXPECT_EQ(trackName("D:\\Audio\\take.wav", 12), "D:\\Audio\\take.012");
    EXPECT_EQ(trackName("D:\\Audio\\take", 1), "D:\\Audio\\take.001");
    EXPECT_EQ(trackName("D:\\Audio\\take", 2), "D:\\Audio\\take.002");
    EXPECT_EQ(trackName("D:\\Audio\\take.001", 5), "D:\\Audio\\take.005");
    EXPECT_EQ(trackName("D:\\Audio.new\\take", 1), "D:\\Audio.001");
    EXPECT_EQ(trackName("/data/audio/take.wav", 72), "/data/audio/take.072");
    EXPECT_EQ(trackName("take.wav", 1), "take.001");
    EXPECT_EQ(trackName("take.wav", 999), "take.999");
    EXPECT_EQ(trackName("take.wav", 1000), "take.1000");
    EXPECT_EQ(trackName("take.wav", 4096), "take.4096");
}

TEST(TrackFileNameTest, LongestBaseFitsTheWorkingBuffer)
{
    std::string base(maxBaseFileName, 'a');
    std::string name = trackName(base.c_str(), 72);
    EXPECT_EQ(name.size(), 263u);
    EXPECT_EQ(name.substr(259), ".072");
    EXPECT_EQ(trackName(base.c_str(), 4096).substr(259), ".4096");
}

TEST(FindLastCharTest, PositionOrTerminator)
{
    EXPECT_EQ(findLastChar("a.b.c", '.'), 3u);
    EXPECT_EQ(findLastChar("abc", '.'), 3u);
    EXPECT_EQ(findLastChar("", '.'), 0u);
    EXPECT_EQ(findLastChar(".", '.'), 0u);
}

}  // namespace
