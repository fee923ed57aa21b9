// The table's cell search and its cost model on scripted disks: every
// prediction, near or far, ends at the boundary, and the model fitted to
// measured request times predicts the count where the disk is as busy as
// the rule allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "search/table_search.h"

namespace {

// The boundary's disk: headroom and busy share fall linearly with the count.
TrialResult scriptedTrial(const CellRules& rules, uint32_t boundary, uint32_t count)
{
    double load = static_cast<double>(count) / boundary;
    TrialResult result{};
    result.count = count;
    result.headroomShare = std::max(0.0, 0.7 - (0.7 - rules.requiredShare) * load);
    result.busyShare = std::min(1.0, rules.targetBusy * load);
    result.passed = count <= boundary;
    if (!result.passed) result.headroomShare = 0;
    return result;
}

// A cell's whole search on that disk, 20 trials at most.
std::vector<TrialResult> searchScriptedCell(const CellRules& rules, uint32_t boundary)
{
    std::vector<TrialResult> trials;
    for (uint32_t next; (next = nextCellCount(rules, trials, 20)) != 0 && trials.size() < 20;)
        trials.push_back(scriptedTrial(rules, boundary, next));
    return trials;
}

TEST(TableSearch, FromAnyPredictionToTheBoundary)
{
    for (uint32_t boundary : {3u, 40u, 700u, 3000u})
        for (double off : {0.5, 0.95, 1.0, 1.05, 1.6}) {
            CellRules rules{4096, 2, 0.5, 0.83, 0.05, 0};
            rules.prediction = static_cast<uint32_t>(std::lround(boundary * off));
            std::vector<TrialResult> trials = searchScriptedCell(rules, boundary);
            SearchAnswer answer = cellAnswer(rules, trials);
            SCOPED_TRACE(testing::Message() << "boundary " << boundary << ", predicted "
                                            << rules.prediction << ", " << trials.size() << " trials");
            EXPECT_EQ(answer.passes, 2u);
            EXPECT_LE(answer.tracks, boundary);
            EXPECT_GT(answer.firstFailed, boundary);
            EXPECT_LE(answer.firstFailed - answer.tracks,
                      std::max(1.0, std::floor(answer.tracks * rules.step)));
            // Near the boundary three trials do: the prediction, one step past
            // it, and the prediction again.
            if (std::fabs(off - 1) < 0.06 && boundary >= 700) {
                EXPECT_LE(trials.size(), 4u);
            }
            EXPECT_LE(trials.size(), 10u);
            for (size_t i = 1; i < trials.size(); ++i)
                EXPECT_FALSE(trials[i].count == answer.tracks && trials[i - 1].count == answer.tracks);
        }
}

// A prediction far too high (the model missed a disk that slows with many
// files): the first failure's busy share aims the next trial near the
// boundary instead of walking down to it step by step.
TEST(TableSearch, AFarTooHighPredictionCostsAFewTrials)
{
    for (uint32_t boundary : {119u, 700u, 3000u})
        for (double off : {1.3, 1.72}) {  // busy 65 and 86 %: not saturated
            CellRules rules{4096, 2, 0.5, 0.5, 0.05, 0};
            rules.prediction = static_cast<uint32_t>(std::lround(boundary * off));
            std::vector<TrialResult> trials = searchScriptedCell(rules, boundary);
            SearchAnswer answer = cellAnswer(rules, trials);
            EXPECT_LE(trials.size(), 5u) << "boundary " << boundary << ", predicted " << rules.prediction;
            EXPECT_LE(answer.tracks, boundary);
            EXPECT_GT(answer.firstFailed, boundary);
        }
}

TEST(TableSearch, CostModelPredictsTheBusyBoundary)
{
    // Writes of 0.2 ms + 4 ns a byte, reads of 0.1 ms + 2 ns a byte, each
    // measured at three sizes; one size of a direction is no line.
    std::vector<CostSample> samples;
    for (uint32_t size : {65536u, 131072u, 196608u}) {
        samples.push_back({size, true, 200000 + 4.0 * size});
        samples.push_back({size, false, 100000 + 2.0 * size});
    }
    RequestCostModel model = fitRequestCost(samples);
    ASSERT_TRUE(model.write.valid && model.read.valid);
    EXPECT_NEAR(model.write.fixedNs, 200000, 1e-3);
    EXPECT_NEAR(model.write.nsPerByte, 4, 1e-9);
    EXPECT_NEAR(model.read.fixedNs, 100000, 1e-3);
    EXPECT_LT(model.write.worstMiss, 1e-9);
    // 48 kHz 24-bit mono, 192 KByte requests: 0.7324 requests a second a track.
    // A write takes 0.9864 ms, a read 0.4932 ms.
    struct Case {
        SearchMode mode;
        uint32_t expected;  // floor(0.83 / (0.7324 * busy per unit))
    };
    for (const Case& c : {Case{{1, 0}, 1148}, Case{{0, 1}, 2297}, Case{{1, 3}, 459}})
        EXPECT_EQ(predictCellCount(model, c.mode, 144000, 196608, 0.83, 4096), c.expected)
            << c.mode.record << ":" << c.mode.play;
    EXPECT_EQ(predictCellCount(model, SearchMode{1, 0}, 144000, 196608, 0.83, 1000), 1000u);
    // Trials of thousands of files measured writes of 192 KByte twice as
    // long: their median replaces the calibration's figure there, and the
    // line through the sizes moves most of the way toward it.
    std::vector<CostSample> trials = {{196608, true, 2 * 986432.0},
                                      {196608, true, 5 * 986432.0},
                                      {196608, true, 1.5 * 986432.0}};
    RequestCostModel refined = refineRequestCost(samples, trials);
    EXPECT_NEAR(fittedRequestNs(refined.write, 196608) / 986432, 1.70, 0.01);
    EXPECT_DOUBLE_EQ(refined.read.nsPerByte, model.read.nsPerByte);
    RequestCostModel writesOnly = fitRequestCost({samples[0], samples[2], samples[1]});
    EXPECT_FALSE(writesOnly.read.valid);
    EXPECT_EQ(predictCellCount(writesOnly, SearchMode{0, 1}, 144000, 196608, 0.83, 4096), 0u);
}

}  // namespace
