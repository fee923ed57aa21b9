// The benchmark against a real recorder, in its pure parts: a take's line
// read and judged, the recorder's limit found on scripted takes by the
// search room's search, and the agreement of two brackets.
#include <gtest/gtest.h>

#include "bench/recorder_take.h"

namespace {

std::string takeLine(uint32_t tracks, double engineRate, uint64_t xruns, uint32_t lost,
                     uint32_t underruns = 0, uint32_t played = 0)
{
    return "{\"tracks\": " + std::to_string(tracks) + ", \"play\": " + std::to_string(played) +
           ", \"wallSeconds\": 60.0, \"engineRate\": " + std::to_string(engineRate) +
           ", \"nominalRate\": 48000, \"capturedXruns\": " + std::to_string(xruns) +
           ", \"tracksWithoutRegion\": " + std::to_string(lost) +
           ", \"underrunTracks\": " + std::to_string(underruns) + ", \"preset\": \"Small\"}";
}

TEST(RecorderTake, EachTakeIsJudged)
{
    struct Case {
        std::string line;
        bool parses;
        TakeVerdict verdict;
    };
    const Case cases[] = {
        {takeLine(138, 46981, 0, 0), true, takeClean},
        {takeLine(150, 47330, 2234, 0), true, takeDropped},
        {takeLine(180, 47000, 0, 14), true, takeDropped},        // lost takes, no overrun marked
        {takeLine(180, 44076, 0, 0), true, takeInvalid},         // 8 % slow: proves nothing
        {takeLine(180, 44076, 10, 0), true, takeDropped},        // dropped even slower
        {takeLine(0, 47596, 0, 0, 3, 150), true, takeDropped},   // playback ran dry
        {"{\"tracks\": 10}", false, takeClean},
        {"Segmentation fault", false, takeClean},
    };
    for (const Case& c : cases) {
        RecorderTake take{};
        EXPECT_EQ(parseRecorderTake(c.line, take), c.parses) << c.line;
        if (c.parses) {
            EXPECT_EQ(judgeTake(take), c.verdict) << c.line;
        }
    }
}

TEST(RecorderTake, TheRecorderLimitIsBisectedToFivePercent)
{
    for (uint32_t limit : {7u, 138u, 149u, 2500u}) {
        for (uint32_t start : {16u, 100u, 300u}) {
            SearchRules rules = recorderSearchRules(4096);
            std::vector<TrialResult> trials;
            for (uint32_t count; (count = nextBisectCount(rules, start, trials)) != 0;) {
                ASSERT_LT(trials.size(), 20u);
                trials.push_back(TrialResult{count, count <= limit, 0, 0, 0, 0, 0});
            }
            SearchAnswer answer = searchAnswer(rules, trials);
            SCOPED_TRACE(testing::Message() << "limit " << limit << ", start " << start << ", "
                                            << trials.size() << " takes");
            EXPECT_LE(answer.tracks, limit);
            EXPECT_GT(answer.firstFailed, limit);
            EXPECT_TRUE(answer.narrowed);
            EXPECT_LE(trials.size(), 15u);  // doubling from a start far below, then halving
        }
    }
}

TEST(RecorderTake, BracketsAgreeWhenTheyOverlapAndTheirLowerEndsAreClose)
{
    struct Case {
        Bracket trakmon;
        Bracket recorder;
        bool overlap;
        bool agrees;
    };
    const Case cases[] = {
        {{131, 137, 0.02}, {138, 150, 0.015}, true, true},
        {{108, 113, 0.0}, {138, 150, 0.015}, false, false},  // a safe figure, not the point of failure
        {{16, 300, 0.0}, {138, 150, 0.0}, true, false},      // overlaps, but far below
        {{160, 168, 0.0}, {138, 150, 0.0}, false, false},
        {{152, 158, 0.05}, {138, 150, 0.0}, true, false},    // widened into each other, 10 % off
        {{145, 152, 0.0}, {138, 0, 0.0}, true, true},        // the recorder never failed
    };
    for (const Case& c : cases) {
        Agreement agreement = bracketAgreement(c.trakmon, c.recorder, 0.10);
        EXPECT_EQ(agreement.overlap, c.overlap) << c.trakmon.passed << " against " << c.recorder.passed;
        EXPECT_EQ(agreement.agrees, c.agrees) << c.trakmon.passed << " against " << c.recorder.passed;
    }
}

}  // namespace
