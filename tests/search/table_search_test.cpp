// The table's cell search and its model on scripted disks: a disk that
// queues (headroom falls with the count long before it is busy), one that
// saturates (headroom holds until the disk is busy), one that drifts and one
// that never fails; each case states the trials a cell needs and where it
// ends; one that saturates later than the rule's busy share says, and one
// that holds its headroom just above the rule until it falls just below,
// one that slows after its first trials, one read through the cache,
// whose trials show nothing until it saturates, one whose headroom falls
// steeply far above its boundary and barely just above it, and one that
// queues and saturates well past the rule's busy share.
// Then the model: fitted request times, the headroom a track costs
// carried from one cell to the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "search/table_search.h"

namespace {

// 48 kHz 24-bit mono, 5 s buffers, 192 KByte requests, 50 % headroom.
const double best = 0.727;
const double required = 0.5;
const double perUnit = 0.7324;  // requests a second one track asks

enum DiskKind { queues, saturates, saturatesLate, drifts, neverFails, plateaus, slows, readsAhead, bends, fillsUp };

struct ScriptedDisk {
    DiskKind kind;
    uint32_t boundary;  // the most units that keep the rule
    uint32_t trials = 0;
};

TrialResult scriptedTrial(ScriptedDisk& disk, const CellRules& rules, uint32_t units)
{
    // A disk that slows: 8 % more units fit in its first two trials.
    double boundary = disk.kind == slows && disk.trials < 2 ? disk.boundary * 1.08 : disk.boundary;
    double load = units / boundary;
    TrialResult result{};
    result.count = units;
    // Each unit costs the disk a fixed time per request; the busy share
    // follows, up to all of it.
    double busyAtBoundary = disk.kind == saturates       ? rules.targetBusy
                            : disk.kind == saturatesLate ? 0.95
                            : disk.kind == plateaus      ? 0.55
                            : disk.kind == fillsUp       ? 0.97
                                                         : 0.3;
    result.requestNs = busyAtBoundary / (disk.boundary * perUnit) * 1e9;
    result.busyShare = std::min(1.0, busyAtBoundary * load);
    switch (disk.kind) {
    case queues:
    case slows:
        result.headroomShare = best - (best - required) * load;
        break;
    case drifts:  // the queue's cost moves by 8 % either way from one trial to the next
        result.headroomShare = best - (best - required) * load * (disk.trials % 2 ? 1.08 : 0.92);
        break;
    case saturates:
    case saturatesLate:
        result.headroomShare = units <= disk.boundary ? best : 0;
        break;
    case plateaus:  // a capped disk: a little over the rule's headroom, then a little under
        result.headroomShare = units <= disk.boundary ? required + 0.021 : required - 0.01;
        break;
    case readsAhead:  // played through the cache: every request served from memory until the disk saturates
        result.headroomShare = units <= disk.boundary ? best : 0;
        result.busyShare = 0.002;
        result.requestNs = 0.002 / (disk.boundary * perUnit) * 1e9;
        break;
    case bends:  // a capped disk: its headroom falls steeply far above its boundary, barely just above it
        result.headroomShare = units <= disk.boundary ? best - (best - required) * load
                                                      : required - (0.25 + 0.25 * (load - 1)) * (load - 1) - 0.005;
        break;
    case fillsUp:  // queues, and saturates well past the rule's busy share with headroom to spare
        result.headroomShare = units <= disk.boundary ? best - (best - required - 0.08) * load : 0;
        break;
    case neverFails:
        result.headroomShare = best;
        result.busyShare = 0.01;
        result.requestNs = 0.01 / (4096 * perUnit) * 1e9;
        break;
    }
    result.headroomShare = std::max(0.0, result.headroomShare);
    result.passed = result.headroomShare >= required;
    if (!result.passed && result.headroomShare < 0.05) result.headroomShare = 0;  // a dropout
    ++disk.trials;
    return result;
}

// A cell's whole search on the disk, 20 trials at most.
std::vector<TrialResult> searchCell(ScriptedDisk& disk, const CellRules& rules)
{
    std::vector<TrialResult> trials;
    for (uint32_t next; trials.size() < 20 && (next = nextCellCount(rules, trials, 20)) != 0;)
        trials.push_back(scriptedTrial(disk, rules, next));
    return trials;
}

CellRules rulesPredicting(uint32_t prediction)
{
    return CellRules{4096, 2, required, 0.83, 0.05, prediction, best, perUnit, 144000, 0.83, false};
}

TEST(TableSearch, EachDiskFromItsPredictionToItsBoundary)
{
    struct Case {
        DiskKind kind;
        uint32_t boundary;
        double off;          // prediction / boundary
        uint32_t mostTrials;
    };
    const Case cases[] = {
        {queues, 119, 1.0, 3},     {queues, 119, 0.5, 4},     {queues, 119, 1.72, 5},
        {queues, 2446, 0.3, 5},    {queues, 3, 1.0, 4},       {saturates, 116, 1.0, 4},
        {saturates, 116, 0.6, 5},  {saturates, 116, 1.6, 4},  {saturates, 700, 3.0, 4},
        {saturatesLate, 130, 0.85, 8}, {saturatesLate, 130, 1.3, 8},
        {drifts, 211, 1.0, 6},     {drifts, 211, 0.5, 5},     {drifts, 211, 1.6, 9},
        {plateaus, 195, 0.94, 5},  {plateaus, 70, 0.67, 8},  {plateaus, 118, 1.69, 10},
        {slows, 181, 1.04, 5},     {readsAhead, 297, 0.64, 7},
        {bends, 120, 1.68, 6},     {fillsUp, 40, 0.95, 5},    {fillsUp, 40, 1.3, 5},
    };
    for (const Case& c : cases) {
        ScriptedDisk disk{c.kind, c.boundary};
        CellRules rules = rulesPredicting(static_cast<uint32_t>(std::lround(c.boundary * c.off)));
        rules.readAhead = c.kind == readsAhead;
        std::vector<TrialResult> trials = searchCell(disk, rules);
        SearchAnswer answer = cellAnswer(rules, trials);
        SCOPED_TRACE(testing::Message() << "disk " << c.kind << ", boundary " << c.boundary
                                        << ", predicted " << rules.prediction << ", "
                                        << trials.size() << " trials");
        EXPECT_LE(trials.size(), c.mostTrials);
        // Each played file a trial needs must be written first: no blind leap.
        for (const TrialResult& trial : trials) {
            if (c.kind == readsAhead) {
                EXPECT_LE(trial.count, 2 * c.boundary);
            }
        }
        EXPECT_EQ(answer.passes, 2u);
        EXPECT_TRUE(answer.narrowed);
        // A drifting disk's boundary lies where it was in its slowest trial
        // or its fastest.
        uint32_t lowest = c.kind == drifts ? static_cast<uint32_t>(c.boundary / 1.08) : c.boundary;
        uint32_t highest = c.kind == drifts ? static_cast<uint32_t>(c.boundary / 0.92) : c.boundary;
        EXPECT_LE(answer.tracks, highest);
        EXPECT_GE(answer.tracks, lowest * 95 / 100);
        EXPECT_GT(answer.firstFailed, lowest);
        // The answer's trials apart, unless its failure was already repeated.
        bool failureRepeated = std::count_if(trials.begin(), trials.end(), [&](const TrialResult& t) {
                                   return t.count == answer.firstFailed;
                               }) >= 2;
        for (size_t i = 1; i < trials.size() && !failureRepeated; ++i)
            EXPECT_FALSE(trials[i].count == answer.tracks && trials[i - 1].count == answer.tracks)
                << "the answer's trials " << i << " and " << i + 1 << " in a row";
    }
}

TEST(TableSearch, ACellWithATightBracketIsOnlyConfirming)
{
    CellRules rules = rulesPredicting(121);
    struct Case {
        std::vector<TrialResult> trials;
        bool confirming;
    };
    const Case cases[] = {
        {{}, false},
        {{{121, true, 0.5, 0.5, 0, 0, 0}}, false},                                    // no failure yet
        {{{121, true, 0.5, 0.5, 0, 0, 0}, {127, false, 0.49, 0.5, 0, 0, 0}}, true},   // 5 % apart
        {{{121, true, 0.5, 0.5, 0, 0, 0}, {130, false, 0.48, 0.5, 0, 0, 0}}, false},  // wider
        {{{121, true, 0.5, 0.5, 0, 0, 0}, {127, false, 0.49, 0.5, 0, 0, 0}, {121, true, 0.5, 0.5, 0, 0, 0}},
         false},  // settled
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cellConfirming(rules, cases[i].trials), cases[i].confirming) << "case " << i;
}

TEST(TableSearch, ACellGetsWhatTheLaterCellsLeaveButNeverLessThanItsShare)
{
    // 500 s left for 5 cells: a share of 100 s each.
    const uint64_t s = 1000000000;
    uint64_t fairEnd = cellFairEndNs(1000 * s, 1500 * s, 5);
    EXPECT_EQ(fairEnd, 1100 * s);
    struct Case {
        uint64_t now, owed, budget;
    };
    const Case cases[] = {
        {1000 * s, 100 * s, 400 * s},  // little owed: all the rest
        {1000 * s, 532 * s, 100 * s},  // owed more than is left: its share
        {1060 * s, 532 * s, 40 * s},   // its share, part spent
        {1120 * s, 532 * s, 0},        // its share spent, nothing left over
    };
    for (const Case& c : cases)
        EXPECT_EQ(cellBudgetNs(c.now, 1500 * s, c.owed, fairEnd), c.budget) << (c.now - 1000 * s) / s;
    EXPECT_EQ(cellBudgetNs(1600 * s, 1500 * s, 0, fairEnd), 0u);  // past the deadline
}

TEST(TableSearch, ACellThatFailedOnTheDrainGoesWhereTheDrainPoints)
{
    // Through the file cache, 48 kHz 24-bit mono: 116 passed with nothing
    // left to drain; 139 kept its headroom but the device drained 20.2 MB/s,
    // room for 116 tracks at the 83 % the rule allows: the count that closes
    // the bracket from below, not a step down from 139. Once 121 passed all
    // the same, the drain points below a count that kept up: halve the
    // bracket rather than creep up from it a step a trial.
    CellRules rules = rulesPredicting(116);
    std::vector<TrialResult> trials = {{116, true, 0.67, 0.01, 0, 0, 0}, {139, false, 0.58, 0.01, 0, 20.17e6, 0}};
    EXPECT_EQ(nextCellCount(rules, trials, 10), 121u);
    trials.push_back({121, true, 0.66, 0.01, 0, 0, 0});
    EXPECT_EQ(nextCellCount(rules, trials, 10), 130u);
}

TEST(TableSearch, ADiskThatNeverFailsEndsAtTheMostATrialHolds)
{
    for (uint32_t prediction : {16u, 1024u, 4096u}) {
        ScriptedDisk disk{neverFails, 100000};
        CellRules rules = rulesPredicting(prediction);
        std::vector<TrialResult> trials = searchCell(disk, rules);
        SearchAnswer answer = cellAnswer(rules, trials);
        EXPECT_TRUE(answer.atLimit) << prediction;
        EXPECT_EQ(answer.tracks, 4096u) << prediction;
        EXPECT_LE(trials.size(), prediction == 16 ? 5u : 3u) << prediction;
    }
}

TEST(TableSearch, TheModelCarriesWhatACellLearntToTheNext)
{
    // Writes of 0.2 ms + 4 ns a byte, reads of 0.1 ms + 2 ns a byte, each
    // measured at three sizes; one size of a direction is no line.
    std::vector<CostSample> samples;
    for (uint32_t size : {65536u, 131072u, 196608u}) {
        samples.push_back({size, true, 200000 + 4.0 * size});
        samples.push_back({size, false, 100000 + 2.0 * size});
    }
    TableModel model{fitRequestCost(samples), {}, 0, 0};
    ASSERT_TRUE(model.cost.write.valid && model.cost.read.valid);
    EXPECT_NEAR(model.cost.write.fixedNs, 200000, 1e-3);
    EXPECT_NEAR(model.cost.write.nsPerByte, 4, 1e-9);
    EXPECT_LT(model.cost.write.worstMiss, 1e-9);
    // 48 kHz 24-bit mono, 192 KByte requests, 0.7324 requests a second a
    // track; a write takes 0.9864 ms, a read 0.4932 ms. Before any cell the
    // headroom a track costs is one request's time; so the headroom, not
    // the busy share, bounds the count: 1.135 s / 0.9864 ms = 1150 writes.
    CellShape shape{{1, 0}, 144000, 196608, 5.0, best, required, 0.9, 0.9, false};
    struct Case {
        SearchMode mode;
        uint32_t expected;
    };
    for (const Case& c : {Case{{1, 0}, 1150}, Case{{0, 1}, 2301}, Case{{1, 3}, 460}}) {
        shape.mode = c.mode;
        EXPECT_EQ(predictCell(model, shape, 4096), c.expected) << c.mode.record << ":" << c.mode.play;
    }
    shape.mode = {1, 0};
    EXPECT_EQ(predictCell(model, shape, 1000), 1000u);
    // A record-only cell ended at 119 with 2.5 s of headroom left: a track
    // cost 9.5 ms of it. Later cells of that size start from there; reading,
    // and writing another size, scale it by the time per request.
    std::vector<TrialResult> answer = {{119, true, 0.5, 0.1, 986432, 0, 0}};
    learnFromCell(model, shape, answer);
    ASSERT_EQ(model.queue.size(), 1u);
    EXPECT_NEAR(model.queue[0].secondsPerTrack, 1.135 / 119, 1e-9);
    EXPECT_EQ(predictCell(model, shape, 4096), 119u);
    shape.mode = {0, 1};
    EXPECT_EQ(predictCell(model, shape, 4096), 238u);
    EXPECT_NEAR(queueSecondsPerTrack(model, 65536, true) / queueSecondsPerTrack(model, 196608, true),
                (200000 + 4.0 * 65536) / (200000 + 4.0 * 196608), 1e-9);
    // An overdub is predicted as the sum of its directions' costs (47) until
    // one settles: this disk carried 70 of them, and the next starts there.
    shape.mode = {1, 3};
    EXPECT_EQ(predictCell(model, shape, 4096), 47u);
    learnFromCell(model, shape, {{70, true, 0.5, 0.1, 0, 0, 0}, {73, false, 0.49, 0.1, 0, 0, 0}});
    EXPECT_EQ(predictCell(model, shape, 4096), 70u);
    shape.mode = {0, 1};
    EXPECT_EQ(predictCell(model, shape, 4096), 238u);
    // Through the file cache the drain bounds the recording: 20 MB/s at 83 %.
    shape = CellShape{{1, 0}, 144000, 196608, 5.0, best, 0.0, 0.83, 0.83, true};
    model.drainBytesPerSecond = 20e6;
    EXPECT_EQ(predictCell(model, shape, 4096), 115u);
    // Trials of thousands of files measured writes of 192 KByte twice as
    // long: their median replaces the calibration's figure there, and the
    // line through the sizes moves most of the way toward it.
    std::vector<CostSample> trials = {{196608, true, 2 * 986432.0},
                                      {196608, true, 5 * 986432.0},
                                      {196608, true, 1.5 * 986432.0}};
    RequestCostModel refined = refineRequestCost(samples, trials);
    EXPECT_NEAR(fittedRequestNs(refined.write, 196608) / 986432, 1.70, 0.01);
    EXPECT_DOUBLE_EQ(refined.read.nsPerByte, model.cost.read.nsPerByte);
    TableModel writesOnly{fitRequestCost({samples[0], samples[2], samples[1]}), {}, 0, 0};
    EXPECT_FALSE(writesOnly.cost.read.valid);
    shape.mode = {0, 1};
    EXPECT_EQ(predictCell(writesOnly, shape, 4096), 0u);
}

}  // namespace
