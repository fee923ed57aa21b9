// The figures of chosen formats, of repeated passes, of their log and of
// their chart, worked out by hand in the comments.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "analysis/pass_summary.h"
#include "analysis/round_record.h"

namespace {

const uint64_t ms = 1000000;  // nanoseconds

TEST(VerdictFormats, BudgetsOfTheChosenRateAndWordLength)
{
    struct Case {
        uint32_t rate, bits;
        std::vector<std::string> names;
        std::vector<double> budgetsMs;  // 131072-byte requests
    };
    const Case cases[] = {
        // 131072 / (48000 x 3) = 0.910222 s; stereo twice the bytes, half the time.
        {48000, 24, {"48 kHz 24-bit mono", "48 kHz 24-bit stereo"}, {910.222222, 455.111111}},
        // 131072 / (96000 x 3) = 455.111 ms, stereo 227.556 ms.
        {96000, 24, {"96 kHz 24-bit mono", "96 kHz 24-bit stereo"}, {455.111111, 227.555556}},
        // 131072 / (192000 x 4) = 170.667 ms, stereo 85.333 ms.
        {192000, 32, {"192 kHz 32-bit mono", "192 kHz 32-bit stereo"}, {170.666667, 85.333333}},
        // A rate alone keeps the report's two word lengths: 131072 / 176400 = 743.039 ms ...
        {88200, 0,
         {"88.2 kHz 16-bit mono", "88.2 kHz 24-bit mono", "88.2 kHz 16-bit stereo",
          "88.2 kHz 24-bit stereo"},
         {743.038549, 495.359033, 371.519274, 247.679516}},
        // ... and a word length alone is judged at 44.1 kHz: 131072 / 176400.
        {0, 32, {"44.1 kHz 32-bit mono", "44.1 kHz 32-bit stereo"}, {743.038549, 371.519274}},
        {0, 0, {"Mono 16 Bit", "Mono 24 Bit", "Stereo 16 Bit", "Stereo 24 Bit"},
         {1486.077098, 990.718065, 743.038549, 495.359033}},
    };
    for (const Case& c : cases) {
        // One round of 12 requests taking 100 ms.
        std::vector<uint64_t> ends(12, 100 * ms);
        PassAnalysis a = analysePass(0, ends, 12, 131072, chosenVerdictFormats(c.rate, c.bits));
        ASSERT_EQ(a.formatCount, c.names.size()) << c.rate << "/" << c.bits;
        for (uint32_t f = 0; f < a.formatCount; ++f) {
            EXPECT_EQ(a.formats[f].name, c.names[f]);
            EXPECT_NEAR(a.formats[f].budgetNs / 1e6, c.budgetsMs[f], 1e-6) << c.names[f];
            EXPECT_NEAR(a.formats[f].margin, c.budgetsMs[f] / 100, 1e-6) << c.names[f];
        }
        std::string lines = formatAnalysisLines(a);
        EXPECT_NE(lines.find(c.names.back() + ": round budget"), std::string::npos) << lines;
    }
}

// 1 track, 128 KB requests, 4 passes of 2 rounds each (ms):
//   pass 1: rounds 10, 10 -> 20 ms, 13.1 MB/s; report 262144 B / 20 ms = 13107
//   pass 2: rounds  5, 45 -> 50 ms,  5.2 MB/s; slowest round of all: 45 ms
//   pass 3: rounds 20, 20 -> 40 ms,  6.6 MB/s
//   pass 4: rounds 12, 13 -> 25 ms, 10.5 MB/s
// Ascending rates: pass 2, 3, 4, 1; nearest-rank median (rank 2 of 4): pass 3.
// Verdicts on 45 ms: Stereo 24 Bit 495.359 / 45 = 11.0.
TEST(RepeatSummary, MedianIsOneOfThePassesAndVerdictsTakeTheSlowestRoundOfAll)
{
    const uint64_t rounds[4][2] = {{10, 10}, {5, 45}, {20, 20}, {12, 13}};
    std::vector<PassFigures> passes;
    for (const auto& pass : rounds) {
        std::vector<uint64_t> ends = {pass[0] * ms, (pass[0] + pass[1]) * ms};
        uint32_t elapsedMs = static_cast<uint32_t>(pass[0] + pass[1]);
        passes.push_back({analysePass(0, ends, 1, 131072), transferRate(262144, elapsedMs)});
    }
    RepeatSummary s = summarisePasses(writeTestKind, passes);
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.passCount, 4u);
    EXPECT_EQ(s.medianPass, 3u);
    EXPECT_DOUBLE_EQ(s.preciseMedian, 262144 / 0.040);
    EXPECT_DOUBLE_EQ(s.preciseMin, 262144 / 0.050);
    EXPECT_DOUBLE_EQ(s.preciseMax, 262144 / 0.020);
    EXPECT_EQ(s.reportMedian, 6553u);  // 262144 / 40
    EXPECT_EQ(s.reportMin, 5242u);
    EXPECT_EQ(s.reportMax, 13107u);
    EXPECT_EQ(s.slowestPass, 2u);
    EXPECT_EQ(s.verdicts.slowestRoundNs, 45 * ms);
    EXPECT_EQ(s.verdicts.elapsedNs, 40 * ms);  // the median pass's figures
    EXPECT_NEAR(s.verdicts.formats[3].margin, 495.359033 / 45, 1e-6);

    std::string text = formatSummaryLines(s);
    EXPECT_NE(text.find("Summary of 4 write passes"), std::string::npos) << text;
    EXPECT_NE(text.find("median 6.6 MB/s (pass 3), min 5.2 MB/s, max 13.1 MB/s"),
              std::string::npos) << text;
    EXPECT_NE(text.find("Slowest round of all passes: 45.000 ms (pass 2)"), std::string::npos);
    nlohmann::json j = summaryJson(s);
    EXPECT_EQ(j["test"], "write-summary");
    EXPECT_EQ(j["medianPass"], 3u);
    EXPECT_EQ(j["rateKBytesPerSec"]["median"], 6553u);
    EXPECT_EQ(j["slowestRound"]["pass"], 2u);
    EXPECT_EQ(j["audio"][3]["margin"], s.verdicts.formats[3].margin);

    // A pass without an analysis leaves nothing to sum up.
    passes.push_back({PassAnalysis{}, 0});
    EXPECT_FALSE(summarisePasses(writeTestKind, passes).valid);
    EXPECT_TRUE(summaryJson(summarisePasses(writeTestKind, passes)).is_null());
}

TEST(RequestLog, LatenciesAddUpToTheLastCompletionExactly)
{
    // 2 tracks, start at 1,000,000 ns; ends 1,001,500.4 us ... in ns.
    PassTimings timings;
    timings.startNs = 1000000;
    timings.requestEndNs = {1001501, 1002999, 1010000};
    EXPECT_EQ(requestLogLines(3, readTestKind, 2, 32768, timings),
              "3,read,2,1,1,32768,1.501,1.501\n"
              "3,read,2,1,2,32768,2.999,1.498\n"
              "3,read,2,2,1,32768,10.000,7.001\n");
    EXPECT_EQ(std::string(requestLogHeader),
              "pass,test,tracks,round,track,bytes,time_us,latency_us\n");
}

TEST(RoundChart, OnePointPerRoundBudgetLinesAndTheSlowestMarked)
{
    // 2 tracks; pass 1 rounds end at 3 and 5 ms (3, 2 ms); pass 2 at 1 and 9 ms (1, 8 ms).
    std::vector<PlottedPass> passes = {{1, {0, {1 * ms, 3 * ms, 4 * ms, 5 * ms}}},
                                       {2, {10 * ms, {10 * ms, 11 * ms, 12 * ms, 19 * ms}}}};
    std::vector<uint64_t> oneRound(2, 1);
    PassAnalysis formats = analysePass(0, oneRound, 2, 131072, chosenVerdictFormats(96000, 24));
    SvgChart chart = roundChart("t", passes, 2, formats);

    ASSERT_EQ(chart.series.size(), 2u);
    ASSERT_EQ(chart.series[0].points.size(), 2u);
    EXPECT_DOUBLE_EQ(chart.series[0].points[1].x, 5);
    EXPECT_DOUBLE_EQ(chart.series[0].points[1].y, 2);
    EXPECT_DOUBLE_EQ(chart.series[1].points[1].x, 9);
    EXPECT_DOUBLE_EQ(chart.series[1].points[1].y, 8);
    EXPECT_EQ(chart.series[1].name, "pass 2");
    ASSERT_EQ(chart.marks.size(), 1u);
    EXPECT_EQ(chart.marks[0].label, "slowest round 8.000 ms (pass 2)");
    ASSERT_EQ(chart.references.size(), 2u);
    EXPECT_NEAR(chart.references[0].y, 455.111111, 1e-6);
    EXPECT_EQ(chart.references[1].label, "96 kHz 24-bit stereo: budget 227.556 ms");
    EXPECT_TRUE(chart.y.logarithmic);
}

}  // namespace
