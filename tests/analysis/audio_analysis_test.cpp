// The arithmetic behind the streaming answer, on scripted clock readings
// whose figures are worked out by hand in the comments.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "analysis/audio_analysis.h"
#include "session/latency_histogram.h"

namespace {

const uint64_t ms = 1000000;  // nanoseconds

TEST(NearestRankPercentile, PicksTheValueAtRankCeilingOfPTimesN)
{
    // Sorted: 15 20 35 40 50. p30: ceil(1.5) = rank 2 -> 20; p50: ceil(2.5) = 3 -> 35;
    // p1: ceil(0.05) = 1 -> 15; p99 and p100: rank 5 -> 50. Input order does not matter.
    std::vector<uint64_t> values = {50, 15, 40, 35, 20};
    EXPECT_EQ(nearestRankPercentile(values, 30), 20u);
    EXPECT_EQ(nearestRankPercentile(values, 50), 35u);
    EXPECT_EQ(nearestRankPercentile(values, 1), 15u);
    EXPECT_EQ(nearestRankPercentile(values, 99), 50u);
    EXPECT_EQ(nearestRankPercentile(values, 100), 50u);
    // Even count: the median is the lower middle value (rank 2 of 4), no averaging.
    EXPECT_EQ(nearestRankPercentile({10, 20, 30, 40}, 50), 20u);
    EXPECT_EQ(nearestRankPercentile({}, 50), 0u);
    // 200 values 1..200: p99 is rank 198, not the maximum.
    std::vector<uint64_t> many;
    for (uint64_t v = 200; v >= 1; --v) many.push_back(v);
    EXPECT_EQ(nearestRankPercentile(many, 99), 198u);
    EXPECT_EQ(nearestRankPercentile(many, 50), 100u);
}

// The histogram's median and 99th percentile against the exact nearest rank:
// within 1/256 of it, min and max exact.
TEST(LatencyHistogram, PercentilesWithinTheStatedErrorOfTheExactOnes)
{
    std::vector<uint64_t> counting, geometric, bimodal;
    for (uint64_t v = 0; v < 1000; ++v) counting.push_back(v);          // exact below 256
    for (double v = 1000; geometric.size() < 1000; v *= 1.03)           // 1 us to 76 days
        geometric.push_back(static_cast<uint64_t>(v));
    bimodal.assign(990, 50000);                                         // p99 on the edge
    bimodal.insert(bimodal.end(), 10, 2000 * ms);
    const std::vector<uint64_t> cases[] = {{7}, counting, geometric, bimodal, {3600000 * ms, 1, 5}};
    static LatencyHistogram histogram;
    for (const std::vector<uint64_t>& values : cases) {
        clearLatencies(histogram);
        for (uint64_t v : values) addLatency(histogram, v);
        LatencySummary summary = summariseLatencies(histogram);
        SCOPED_TRACE(testing::Message() << values.size() << " values from " << values.front());
        EXPECT_EQ(summary.minNs, *std::min_element(values.begin(), values.end()));
        EXPECT_EQ(summary.maxNs, *std::max_element(values.begin(), values.end()));
        for (uint32_t percent : {50u, 99u}) {
            uint64_t exact = nearestRankPercentile(values, percent);
            uint64_t kept = latencyPercentile(histogram, percent);
            uint64_t off = kept > exact ? kept - exact : exact - kept;
            EXPECT_LE(off * 256, exact) << "p" << percent << ": " << kept << " for " << exact;
        }
    }
    // Each value lies in its bucket, whose middle is within 1/256 of it.
    for (uint64_t v : {uint64_t(0), uint64_t(255), uint64_t(256), uint64_t(511), uint64_t(512),
                       uint64_t(1000000007), 3600000 * ms, UINT64_MAX}) {
        uint32_t bucket = latencyBucket(v);
        ASSERT_LT(bucket, latencyBucketCount) << v;
        EXPECT_LE(latencyBucketLow(bucket), v) << v;
        if (bucket + 1 < latencyBucketCount) {
            EXPECT_LT(v, latencyBucketLow(bucket + 1)) << v;
        }
        uint64_t middle = latencyBucketMiddle(bucket);
        EXPECT_LE(middle > v ? middle - v : v - middle, v / 256) << v;
    }
}

TEST(Rounds, RoundZeroStartsAtThePassStartAndAPartialCycleIsNoRound)
{
    // 3 tracks. Round 0 ends at 1600 (1600 - 1000 = 600), round 1 at 2600
    // (2600 - 1600 = 1000); the reading at 2700 begins a third cycle that never ended.
    std::vector<uint64_t> ends = {1100, 1300, 1600, 1700, 1750, 2600, 2700};
    EXPECT_EQ(roundDurations(1000, ends, 3), (std::vector<uint64_t>{600, 1000}));
    EXPECT_TRUE(roundDurations(1000, {1100, 1300}, 3).empty());
    // One track: every request is a round.
    EXPECT_EQ(roundDurations(0, {5, 9, 20}, 1), (std::vector<uint64_t>{5, 4, 11}));
}

TEST(Rounds, RequestLatencyIsEachReadingMinusThePreviousOne)
{
    EXPECT_EQ(requestLatencies(1000, {1100, 1300, 1600}), (std::vector<uint64_t>{100, 200, 300}));
}

TEST(Budget, OneRequestOfAudioPerTrackInRealTime)
{
    // 131072 / 264600 s = 495,359,032.50 ns, rounded to nearest.
    EXPECT_EQ(roundBudgetNs(131072, 264600), 495359033u);
    // 32768 / 88200 s = 371,519,274.38 ns.
    EXPECT_EQ(roundBudgetNs(32768, 88200), 371519274u);
    // 524288 / 264600 s = 1,981,436,130.01 ns: no 32-bit overflow on the way.
    EXPECT_EQ(roundBudgetNs(524288, 264600), 1981436130u);
}

TEST(Verdict, ThresholdsAtTwoAndOne)
{
    EXPECT_EQ(verdictFor(streamMargin(1000, 500)), verdictCanStream);     // exactly 2
    EXPECT_EQ(verdictFor(streamMargin(1000, 501)), verdictMarginal);      // 1.996
    EXPECT_EQ(verdictFor(streamMargin(1000, 1000)), verdictMarginal);     // exactly 1
    EXPECT_EQ(verdictFor(streamMargin(1000, 1001)), verdictCannotStream); // 0.999
    EXPECT_EQ(verdictFor(streamMargin(1000, 0)), verdictCanStream);       // 0 ns taken as 1
    EXPECT_EQ(verdictSentence(verdictCanStream, 1, "Mono 16 Bit"), "can stream 1 track of Mono 16 Bit");
    EXPECT_EQ(verdictSentence(verdictMarginal, 12, "Stereo 24 Bit"), "marginal for 12 tracks of Stereo 24 Bit");
    EXPECT_EQ(verdictSentence(verdictCannotStream, 72, "Mono 24 Bit"), "cannot stream 72 tracks of Mono 24 Bit");
}

// 2 tracks, 128 KB requests, 4 rounds. Readings (ms from the pass start at 10 ms):
// round 0: 10+1=11, 10+3=13 -> 3 ms
// round 1: 14, 613 -> 600 ms (the second request stalls for 599 ms)
// round 2: 614, 615 -> 2 ms
// round 3: 617, 620 -> 5 ms
// Slowest round 600 ms; p99 of 4 rounds is rank 4 = 600 ms.
// Latencies 1 2 1 599 1 1 2 3: min 1, median rank 4 of sorted 1 1 1 1 2 2 3 599 = 1,
// p99 rank 8 = 599, max 599.
// Budgets (ms): Mono 16 1486.077 -> 2.48 can; Mono 24 990.718 -> 1.65 marginal;
// Stereo 16 743.039 -> 1.24 marginal; Stereo 24 495.359 -> 0.83 cannot.
std::vector<uint64_t> stallingPass()
{
    return {11 * ms, 13 * ms, 14 * ms, 613 * ms, 614 * ms, 615 * ms, 617 * ms, 620 * ms};
}

TEST(AnalysePass, HandWorkedPassWithOneStall)
{
    PassAnalysis a = analysePass(10 * ms, stallingPass(), 2, 131072);
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.totalBytes, 8u * 131072);
    EXPECT_EQ(a.elapsedNs, 610 * ms);
    EXPECT_EQ(a.roundCount, 4u);
    EXPECT_EQ(a.slowestRoundNs, 600 * ms);
    EXPECT_EQ(a.p99RoundNs, 600 * ms);
    EXPECT_EQ(a.latency.minNs, 1 * ms);
    EXPECT_EQ(a.latency.medianNs, 1 * ms);
    EXPECT_EQ(a.latency.p99Ns, 599 * ms);
    EXPECT_EQ(a.latency.maxNs, 599 * ms);

    EXPECT_STREQ(a.formats[0].name, "Mono 16 Bit");
    EXPECT_STREQ(a.formats[3].name, "Stereo 24 Bit");
    EXPECT_EQ(a.formats[0].verdict, verdictCanStream);
    EXPECT_EQ(a.formats[1].verdict, verdictMarginal);
    EXPECT_EQ(a.formats[2].verdict, verdictMarginal);
    EXPECT_EQ(a.formats[3].verdict, verdictCannotStream);
    EXPECT_NEAR(a.formats[3].margin, 495.359033 / 600, 1e-9);
}

TEST(AnalysePass, TheP99RoundIgnoresOneStallAmongManyRounds)
{
    // 1 track, 200 rounds of 1 ms and one of 50 ms: slowest 50 ms, p99 (rank 199 of 201) 1 ms.
    std::vector<uint64_t> ends;
    uint64_t t = 0;
    for (int i = 0; i < 201; ++i) ends.push_back(t += (i == 100 ? 50 : 1) * ms);
    PassAnalysis a = analysePass(0, ends, 1, 32768);
    EXPECT_EQ(a.slowestRoundNs, 50 * ms);
    EXPECT_EQ(a.p99RoundNs, 1 * ms);
    // The verdict follows the slowest round: 371.519 ms / 50 ms = 7.4.
    EXPECT_EQ(a.formats[0].verdict, verdictCanStream);
    EXPECT_NEAR(a.formats[0].margin, 371.519274 / 50, 1e-6);
}

TEST(AnalysePass, FewerReadingsThanOneRoundGiveNoAnswer)
{
    PassAnalysis a = analysePass(0, {1 * ms, 2 * ms}, 12, 131072);
    EXPECT_FALSE(a.valid);
    EXPECT_EQ(formatAnalysisLines(a), "");
    EXPECT_TRUE(analysisJson(a).is_null());
}

TEST(Output, PreciseLineAndVerdictLinesCarryTheHandWorkedFigures)
{
    // 1 track, 760 requests of 128 KB (99,614,720 bytes) in 83.412 ms:
    // 1,194,249,268.7 B/s -> 1194.2 MB/s, 1194249 KBytes/Sec (1000-byte KBytes).
    std::vector<uint64_t> ends;
    for (int i = 1; i <= 760; ++i) ends.push_back(static_cast<uint64_t>(i) * 109752);
    ends.back() = 83412000;
    PassAnalysis a = analysePass(0, ends, 1, 131072);
    std::string lines = formatAnalysisLines(a);
    EXPECT_NE(lines.find("83.412 ms, 1194.2 MB/s (1194249 KBytes/Sec)\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("Stereo 24 Bit: round budget 495.359 ms"), std::string::npos) << lines;
    EXPECT_NE(lines.find(": can stream 1 track of Stereo 24 Bit\n"), std::string::npos) << lines;

    nlohmann::json j = analysisJson(a);
    EXPECT_EQ(j["precise"]["elapsedNs"], 83412000u);
    EXPECT_EQ(j["precise"]["rateKBytesPerSec"], 1194249u);
    EXPECT_EQ(j["rounds"]["count"], 760u);
    ASSERT_EQ(j["audio"].size(), 4u);
    EXPECT_EQ(j["audio"][3]["roundBudgetNs"], 495359033u);
    EXPECT_EQ(j["audio"][3]["verdict"], "can");
    EXPECT_EQ(j["percentileMethod"], "nearest-rank");
}

}  // namespace
