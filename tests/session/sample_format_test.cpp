#include <gtest/gtest.h>

#include "session/sample_format.h"

TEST(SampleFormat, BytesPerSecondAndLabel)
{
    struct Case {
        SampleFormat format;
        uint32_t bytesPerSecond;
        const char* label;
    };
    const Case cases[] = {
        {{44100, 16, 1}, 88200, "44.1 kHz 16-bit mono"},
        {{44100, 24, 2}, 264600, "44.1 kHz 24-bit stereo"},
        {{48000, 24, 1}, 144000, "48 kHz 24-bit mono"},
        {{88200, 24, 2}, 529200, "88.2 kHz 24-bit stereo"},
        {{96000, 24, 1}, 288000, "96 kHz 24-bit mono"},
        {{176400, 32, 1}, 705600, "176.4 kHz 32-bit mono"},
        {{192000, 32, 2}, 1536000, "192 kHz 32-bit stereo"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sampleFormatBytesPerSecond(c.format), c.bytesPerSecond) << c.label;
        EXPECT_EQ(sampleFormatLabel(c.format), c.label);
    }
}

TEST(SampleFormat, ChoicesAreTheCommonRatesAndWordLengths)
{
    for (uint32_t rate : {44100u, 48000u, 88200u, 96000u, 176400u, 192000u})
        EXPECT_TRUE(isSampleRateChoice(rate)) << rate;
    for (uint32_t rate : {0u, 22050u, 44000u, 384000u}) EXPECT_FALSE(isSampleRateChoice(rate)) << rate;
    for (uint32_t bits : {16u, 24u, 32u}) EXPECT_TRUE(isSampleBitsChoice(bits)) << bits;
    for (uint32_t bits : {0u, 8u, 20u, 64u}) EXPECT_FALSE(isSampleBitsChoice(bits)) << bits;
    EXPECT_TRUE(isChannelCountChoice(1) && isChannelCountChoice(2));
    EXPECT_FALSE(isChannelCountChoice(0) || isChannelCountChoice(3));
}
