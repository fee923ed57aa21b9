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
            EXPECT_EQ(passRequests(plan), row.steps[i]);  // whole rounds
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

std::string trackName(const char* base, uint32_t number, ExtensionRule rule)
{
    char name[trackFileNameSize];
    formatTrackName(name, sizeof name, base, number, rule);
    return name;
}

TEST(TrackFileNameTest, ExtensionByRule)
{
    const ExtensionRule path = extensionAnywhereInPath;
    const ExtensionRule file = extensionInFileName;
    const std::string longest(maxBaseFileName, 'a');
    const std::string tooLong = longest + ".wav";
    struct Case {
        std::string base;
        uint32_t number;
        ExtensionRule rule;
        std::string expected;
    } cases[] = {
        {"D:\\Audio\\take.wav", 1, path, "D:\\Audio\\take.001"},
        {"D:\\Audio\\take", 2, path, "D:\\Audio\\take.002"},
        {"D:\\Audio\\take.001", 5, path, "D:\\Audio\\take.005"},
        {"D:\\Audio.new\\take", 1, path, "D:\\Audio.001"},
        {"/data/take.v2/take", 1, path, "/data/take.001"},
        {"take.wav", 999, path, "take.999"},
        {"take.wav", 1000, path, "take.1000"},
        {"take.wav", 10000, path, "take.1000"},
        {"/data/take.v2/take", 1, file, "/data/take.v2/take.001"},
        {"/data/take.v2/take.wav", 72, file, "/data/take.v2/take.072"},
        {"/data/audio/take.wav", 12, file, "/data/audio/take.012"},
        {"take", 1, file, "take.001"},
        {"take.wav", 4096, file, "take.4096"},
#ifdef _WIN32
        {"D:\\Audio.new\\take", 1, file, "D:\\Audio.new\\take.001"},
#else
        {"D:\\Audio.new\\take", 1, file, "D:\\Audio.001"},
#endif
        {longest, 72, path, longest + ".072"},
        {longest, 4096, file, longest + ".4096"},
        {tooLong, 1, file, longest + ".001"},  // cut to 259 characters first
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trackName(c.base.c_str(), c.number, c.rule), c.expected)
            << c.base << " #" << c.number << (c.rule == path ? " (path)" : " (file name)");
    }
}

TEST(FindLastCharTest, PositionOrTerminator)
{
    EXPECT_EQ(findLastChar("a.b.c", '.'), 3u);
    EXPECT_EQ(findLastChar("abc", '.'), 3u);
    EXPECT_EQ(findLastChar("", '.'), 0u);
    EXPECT_EQ(findLastChar(".", '.'), 0u);
}

}  // namespace
