// What a session and a capacity search say, from sessions run on the
// platform double's scripted clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "cli/capacity.h"
#include "cli/session_report.h"
#include "tests/doubles/fake_platform.h"

namespace {

const uint64_t ms = 1000000;

// One recording track of 48 kHz 24-bit mono, 2.0 s buffer, 96 KByte
// requests, 10 s; the first request stalls for stallNs.
SessionRun run;

SessionSummary stalledSession(uint64_t stallNs, uint32_t plays = 0)
{
    resetFakePlatform();
    for (uint32_t n = 1; n <= plays; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "take.%03u", static_cast<unsigned>(n));
        fakeFiles[name].size = 1 << 20;
    }
    fakeScript.requestNs = 1 * ms;
    fakeScript.requestNsAt[plays * 2 + 1] = stallNs;
    SessionConfig config{plays, 1, 48000, 3, 288000, 98304, 10000 * ms};
    EXPECT_EQ(openSession(run, config, {"take.wav", "take.wav", plays + 1}).status, setupReady);
    prerollAndStart(run);
    while (runSessionUntil(run, UINT64_MAX)) {
    }
    closeSession(run);
    return summariseSession(run, SampleFormat{48000, 24, 1}, 2.0);
}

TEST(SessionReport, VerdictLines)
{
    SessionSummary kept = stalledSession(1900 * ms);
    EXPECT_EQ(sessionVerdict(kept),
              "records 1 track of 48 kHz 24-bit mono with a 2.0 s buffer: no dropout in 10 s, "
              "lowest headroom 0.10 s, disk busy 19 %");
    EXPECT_TRUE(trialPasses(kept, 5.0));
    EXPECT_FALSE(trialPasses(kept, 5.1));  // 14,400 of 288,000 bytes

    SessionSummary lost = stalledSession(2500 * ms);
    EXPECT_EQ(sessionVerdict(lost),
              "cannot record 1 track of 48 kHz 24-bit mono with a 2.0 s buffer: 1 dropout in "
              "10 s, the first at 2.68 s, disk busy 25 %");
    EXPECT_FALSE(trialPasses(lost, 0));
    nlohmann::json json = sessionJson(lost);
    EXPECT_EQ(json["outcome"], "dropout");
    EXPECT_EQ(json["recording"]["samples"], 24000);
    EXPECT_EQ(json["recording"]["firstFile"], "take.001");
    EXPECT_TRUE(json["playback"].is_null());

    SessionSummary both = stalledSession(1 * ms, 3);
    EXPECT_EQ(sessionVerdict(both).substr(0, 40), "records 1 and plays 3 tracks of 48 kHz 2");
    EXPECT_NE(formatSessionText(both).find("Recording: 0 samples"), std::string::npos);
    EXPECT_NE(formatSessionText(both).find("Playback: 0 samples"), std::string::npos);
}

TEST(SessionReport, PlotShowsTheStallAndMarksTheFirstDropout)
{
    SessionSummary lost = stalledSession(2500 * ms);
    std::vector<SvgChart> charts = sessionCharts(run, lost);
    ASSERT_EQ(charts.size(), 2u);
    const SvgChart& headroom = charts[0];
    ASSERT_EQ(headroom.series.size(), 1u);  // recording only
    EXPECT_LE(headroom.series[0].points.size(), run.requests.size());  // the worst of each interval
    double lowest = 1e9;
    for (const ChartPoint& point : headroom.series[0].points) lowest = std::min(lowest, point.y);
    EXPECT_DOUBLE_EQ(lowest, 0);  // the request after the stall found its buffer full
    ASSERT_EQ(headroom.marks.size(), 1u);
    EXPECT_NEAR(headroom.marks[0].at.x, 2.682666667, 1e-9);
    EXPECT_EQ(headroom.marks[0].label, "first dropout at 2.68 s");
    double slowest = 0;
    for (const ChartPoint& point : charts[1].series[0].points) slowest = std::max(slowest, point.y);
    EXPECT_DOUBLE_EQ(slowest, 2500);
}

TEST(CapacitySearch, FindsEveryAnswerWithinItsTrials)
{
    for (uint32_t limit : {1u, 5u, 8u, 4096u}) {
        SearchBound worst = worstCaseSearch(limit);
        for (uint32_t answer = 0; answer <= limit; answer += limit > 100 ? 37 : 1) {
            CapacitySearch search = startCapacitySearch(limit);
            std::vector<uint32_t> tried;
            for (uint32_t count; (count = nextTrialCount(search)) != 0;) {
                tried.push_back(count);
                noteTrial(search, count, count <= answer);
            }
            SCOPED_TRACE(testing::Message() << "limit " << limit << ", answer " << answer);
            EXPECT_EQ(search.passed, answer);
            EXPECT_EQ(search.failed, answer < limit ? answer + 1 : 0);
            EXPECT_LE(tried.size(), worst.trials);
        }
    }
    EXPECT_EQ(worstCaseSearch(8).trials, 6u);             // 1 2 4 8, then 6, 7 (or 5)
    EXPECT_EQ(worstCaseSearch(8).recordedFiles, 15u + 7 + 6);  // ... 8 fails, 6 and 7 pass
    EXPECT_EQ(worstCaseSearch(4096).trials, 24u);         // 13 doublings, 11 halvings
}

TEST(CapacitySearch, PlayRatios)
{
    struct Case {
        const char* text;
        bool valid;
        uint32_t playsFor8;
        uint32_t maxRecorded;  // of 4096 in all
    };
    const Case cases[] = {
        {"1:0", true, 0, 4096}, {"1:3", true, 24, 1024}, {"2:3", true, 12, 1638},
        {"0:3", false, 0, 0},   {"1:", false, 0, 0},     {"a:b", false, 0, 0},
        {"13", false, 0, 0},
    };
    for (const Case& c : cases) {
        PlayRatio ratio{};
        EXPECT_EQ(parsePlayRatio(c.text, ratio), c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(playTracksFor(ratio, 8), c.playsFor8) << c.text;
        EXPECT_EQ(maxRecordTracksFor(ratio, 4096), c.maxRecorded) << c.text;
    }
    EXPECT_EQ(playTracksFor(PlayRatio{2, 3}, 1), 2u);  // 1.5 rounds up
}

}  // namespace
