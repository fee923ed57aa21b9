// What a session and a capacity search say, from sessions run on the
// platform double's scripted clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "analysis/capacity.h"
#include "analysis/session_report.h"
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
    EXPECT_EQ(openSession(run, config, {"take.wav", "take.wav", plays + 1, bypassFileCache}).status,
              setupReady);
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
              "records 1 track of 48 kHz 24-bit mono with a 2.0 s buffer, file cache bypassed: no "
              "dropout in 10 s, lowest headroom 0.10 s of a possible 1.32 s: it survives a 0.10 s "
              "stall; 0.14 MB/s in all, disk busy 19.1 %");
    EXPECT_TRUE(trialPasses(kept, 5.0));
    EXPECT_FALSE(trialPasses(kept, 5.1));  // 14,400 of 288,000 bytes

    SessionSummary lost = stalledSession(2500 * ms);
    EXPECT_EQ(sessionVerdict(lost),
              "cannot record 1 track of 48 kHz 24-bit mono with a 2.0 s buffer, file cache "
              "bypassed: 1 dropout in 10 s (1.0 a track), the first at 2.68 s; 0.14 MB/s in all, "
              "disk busy 25.1 %");
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

// A dropout is an answer at any length; no dropout only from a session long
// enough to have shown one, with requests in every direction it has.
TEST(SessionReport, OutcomeAndWhyItCannotTell)
{
    struct Case {
        uint64_t seconds;
        uint32_t plays;
        uint64_t writes, reads;
        bool dropout, aborted;
        SessionOutcome outcome;
        const char* says;
    };
    const Case cases[] = {
        {10, 0, 14, 0, false, false, sessionNoDropout, ": no dropout in 10 s, lowest headroom"},
        {6, 0, 8, 0, false, false, sessionTooShort, "a session of 6 s is too short to show a "
                                                    "dropout (it takes 6.827 s: three buffer"},
        {6, 0, 8, 0, true, false, sessionDropout, ": 1 dropout in 6 s (1.0 a track), the first"},
        {10, 0, 0, 0, false, false, sessionTooShort, ": no write request was issued in 10 s"},
        {10, 2, 14, 0, false, false, sessionTooShort, ": no read request was issued in 10 s"},
        {10, 0, 1, 0, false, true, sessionAborted, "session aborted after"},
    };
    for (const Case& c : cases) {
        SessionSummary summary = stalledSession(1 * ms);
        summary.config.durationNs = c.seconds * 1000 * ms;
        summary.config.playTracks = c.plays;
        summary.writeRequests = c.writes;
        summary.readRequests = c.reads;
        summary.recording.any = c.dropout;
        summary.recording.events = c.dropout ? 1 : 0;
        summary.aborted = c.aborted;
        summary.config.playTracks = c.plays;
        SCOPED_TRACE(c.says);
        EXPECT_EQ(sessionOutcome(summary), c.outcome);
        EXPECT_NE(sessionVerdict(summary).find(c.says), std::string::npos) << sessionVerdict(summary);
        EXPECT_EQ(trialPasses(summary, 0), c.outcome == sessionNoDropout);
        bool cannotTell = sessionVerdict(summary).rfind("cannot tell whether this disk records", 0) == 0;
        EXPECT_EQ(cannotTell, c.outcome == sessionTooShort);
    }
    EXPECT_EQ(busyText(0), "0.0 %");
    EXPECT_EQ(busyText(0.04), "< 0.1 %");
    EXPECT_EQ(busyText(37.25), "37.2 %");
}

// The drain of a recording through the file cache, judged by its flush.
TEST(SessionReport, DrainOfTheRecordingThroughTheCache)
{
    SessionConfig recording{};
    recording.recordTracks = 10;
    SessionConfig playing = recording;
    playing.recordTracks = 0;
    auto flush = [](bool ran, bool counted, uint64_t ns, uint64_t bytes) {
        FlushResult result;
        result.ran = ran;
        result.counted = counted;
        result.ns = ns;
        result.deviceBytes = bytes;
        return result;
    };
    struct Case {
        TrackCaching caching;
        SessionConfig config;
        FlushResult flush;
        DrainVerdict verdict;
        double rate;  // bytes/s; 100 MB/s needed
    };
    const Case cases[] = {
        {bypassFileCache, recording, flush(true, true, 2e9, 1e9), drainNotNeeded, 0},
        {throughFileCache, playing, flush(false, false, 0, 0), drainNotNeeded, 0},
        {throughFileCache, recording, flush(false, true, 0, 0), drainNotRun, 0},
        {throughFileCache, recording, flush(true, false, 3e9, 0), drainUnknown, 0},
        {throughFileCache, recording, flush(true, true, 100e6, 1e6), drainNoBacklog, 10e6},
        {throughFileCache, recording, flush(true, true, 2e9, 250e6), drainKeptPace, 125e6},
        {throughFileCache, recording, flush(true, true, 2e9, 150e6), drainTooSlow, 75e6},
    };
    for (const Case& c : cases) {
        double rate = -1;
        EXPECT_EQ(judgeDrain(c.caching, c.config, c.flush, 100e6, rate), c.verdict) << c.verdict;
        EXPECT_DOUBLE_EQ(rate, c.rate) << c.verdict;
    }
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
