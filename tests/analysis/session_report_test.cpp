// What a session and a capacity search say, from sessions run on the
// platform double's scripted clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis/capacity_report.h"
#include "analysis/session_report.h"
#include "tests/doubles/fake_platform.h"

namespace {

const uint64_t ms = 1000000;

// One recording track of 48 kHz 24-bit mono, 2.0 s buffer, 96 KByte
// requests, 10 s; the first request stalls for stallNs.
SessionRun run;
SessionDigest digest;

void digestInto(void*, const SessionRun& session, const RequestRecord& request)
{
    digestRequest(digest, session, request);
}

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
    clearDigest(digest);
    while (runSessionUntil(run, UINT64_MAX, RequestSink{nullptr, digestInto})) {
    }
    closeSession(run);
    return summariseSession(run, digest, SampleFormat{48000, 24, 1}, 2.0);
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
    nlohmann::json json = sessionJson(lost, pathAsItIs);
    EXPECT_EQ(json["outcome"], "dropout");
    EXPECT_EQ(json["recording"]["samples"], 24000);
    EXPECT_EQ(json["recording"]["firstFile"], "take.001");
    EXPECT_TRUE(json["playback"].is_null());
    EXPECT_EQ(json["percentileMethod"], "nearest-rank over log-linear buckets");
    EXPECT_EQ(json["latencyRelativeError"], 1.0 / 256);
    EXPECT_EQ(json["requestLatency"]["maxNs"], 2500 * ms);  // exact

    SessionSummary both = stalledSession(1 * ms, 3);
    EXPECT_EQ(sessionVerdict(both).substr(0, 40), "records 1 and plays 3 tracks of 48 kHz 2");
    EXPECT_NE(formatSessionText(both).find("Recording: 0 samples"), std::string::npos);
    EXPECT_NE(formatSessionText(both).find("Playback: 0 samples"), std::string::npos);
}

TEST(SessionReport, PlotShowsTheStallAndMarksTheFirstDropout)
{
    SessionSummary lost = stalledSession(2500 * ms);
    std::vector<SvgChart> charts = sessionCharts(digest, lost);
    ASSERT_EQ(charts.size(), 2u);
    const SvgChart& headroom = charts[0];
    ASSERT_EQ(headroom.series.size(), 1u);  // recording only
    EXPECT_LE(headroom.series[0].points.size(), lost.requestCount);  // the worst of each interval
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

// Each log line as the whole log used to be printed: "%.3f" of microseconds
// and of the headroom's milliseconds, here made in integers.
TEST(SessionReport, LogLinesKeepTheirFormat)
{
    SessionRun session;
    // 2 played, 1 recorded (file 7); 48 kHz 24-bit mono, 2.0 s buffers.
    startModel(session.model, SessionConfig{2, 1, 48000, 3, 288000, 98304, 10000 * ms});
    session.files.firstRecordNumber = 7;
    struct Case {
        RequestRecord request;
        const char* line;  // null: the old formula alone says
    };
    const Case cases[] = {
        {{682666667, 683666668, 2, 98304}, "1,7,write,98304,682666.667,683666.668,1000.001,98304,1317.333\n"},
        {{0, 5, 0, 190000}, "2,1,read,98304,0.000,0.005,0.005,190000,1319.444\n"},
        {{9999999999, 12500000000, 1, 9}, nullptr},  // 0.0625 ms: a tie, as printf rounds it
        {{1, 2, 2, 288000}, "4,7,write,98304,0.001,0.002,0.001,288000,0.000\n"},
    };
    for (const Case& c : cases) {
        ++session.model.requestCount;
        const RequestRecord& r = c.request;
        bool play = r.track < 2;
        char old[200];
        std::snprintf(old, sizeof old, "%llu,%u,%s,%u,%.3f,%.3f,%.3f,%u,%.3f\n",
                      static_cast<unsigned long long>(session.model.requestCount),
                      play ? r.track + 1 : 7, play ? "read" : "write", 98304u, r.startNs / 1e3,
                      r.endNs / 1e3, (r.endNs - r.startNs) / 1e3, r.level,
                      1e3 * audioSeconds(play ? r.level : 288000 - r.level, 144000));
        std::string line;
        appendSessionLogLine(line, session, r, 144000);
        EXPECT_EQ(line, old);
        if (c.line != nullptr) {
            EXPECT_EQ(line, c.line);
        }
    }
    EXPECT_EQ(std::string(sessionLogHeader).substr(0, 30), "request,file_number,direction,");
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
        result.dataNs = ns;
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

}  // namespace
