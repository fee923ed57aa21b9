// The capacity search on scripted disks and a scripted clock: where it
// aims, what it answers, how often it tries the answer, and its time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "search/capacity_search.h"

namespace {

const uint64_t trialNs = 32000000000u;  // a 30 s trial and its setup

// A disk whose headroom and busy share fall linearly with the count and
// reach the rule's limits at `boundary` tracks; `flaky` may turn a pass
// into a failure (the count and how often it was tried before).
struct ScriptedDisk {
    ScriptedDisk(const SearchRules& rules, uint32_t boundary,
                 std::function<bool(uint32_t, uint32_t)> flaky = nullptr)
        : rules(rules), boundary(boundary), flaky(flaky)
    {
    }
    SearchRules rules;
    uint32_t boundary;
    std::function<bool(uint32_t count, uint32_t tried)> flaky;
    std::map<uint32_t, uint32_t> tried;
    uint64_t clockNs = 0;
    uint64_t ownNs = trialNs;  // what one trial really takes
};

bool scriptedTrial(void* context, uint32_t count, TrialResult& result)
{
    ScriptedDisk& disk = *static_cast<ScriptedDisk*>(context);
    double load = static_cast<double>(count) / disk.boundary;
    double best = 0.7;
    result.headroomShare = std::max(0.0, best - (best - disk.rules.requiredShare) * load);
    result.busyShare = std::min(1.0, disk.rules.targetBusy * load);
    result.passed = result.headroomShare >= disk.rules.requiredShare;
    if (disk.flaky && disk.flaky(count, disk.tried[count]++)) {
        result.passed = false;
        result.headroomShare = 0;
    }
    disk.clockNs += disk.ownNs;
    return true;
}

uint64_t scriptedClock(void* context)
{
    return static_cast<ScriptedDisk*>(context)->clockNs;
}

SearchRun search(ScriptedDisk& disk)
{
    CapacityWiring wiring{&disk, scriptedTrial, scriptedClock, nullptr};
    return runCapacitySearch(disk.rules, plannedTrials(disk.rules) * trialNs, trialNs, wiring);
}

// 48 kHz 24-bit mono, 5 s buffers, 192 KByte requests, 50 % headroom.
SearchRules rules(uint32_t limit = 4096)
{
    return capacitySearchRules(limit, 3, 0.5, 720000, 196608);
}

TEST(CapacitySearch, FindsTheBoundaryWithinItsTimeAndTriesTheAnswerThreeTimes)
{
    for (uint32_t boundary : {1u, 5u, 40u, 700u, 1530u, 3000u, 9000u}) {
        ScriptedDisk disk{rules(), boundary, nullptr};
        SearchRun run = search(disk);
        SearchAnswer answer = searchAnswer(disk.rules, run.trials);
        SCOPED_TRACE(testing::Message() << "boundary " << boundary << ", " << run.trials.size()
                                        << " trials");
        EXPECT_FALSE(run.stopped);
        EXPECT_FALSE(run.outOfTime);
        EXPECT_LE(run.elapsedNs, plannedTrials(disk.rules) * trialNs * 3 / 2);
        EXPECT_EQ(answer.passes, 3u);
        SearchOutcome outcome = searchOutcome(answer, SearchEnd{});
        EXPECT_TRUE(searchSucceeded(outcome, answer));
        if (boundary >= 4096) {
            EXPECT_TRUE(answer.atLimit);
            EXPECT_EQ(outcome, outcomeAtLeast);
            EXPECT_EQ(answer.tracks, 4096u);
            EXPECT_EQ(answer.firstFailed, 0u);
            continue;
        }
        EXPECT_EQ(outcome, outcomeFound);
        // The answer's trials meet the disk apart: never two in a row.
        for (size_t i = 1; i < run.trials.size(); ++i)
            EXPECT_FALSE(run.trials[i].count == answer.tracks &&
                         run.trials[i - 1].count == answer.tracks)
                << "trials " << i << " and " << i + 1;
        EXPECT_LE(answer.tracks, boundary);
        EXPECT_GT(answer.firstFailed, boundary);
        EXPECT_LE(answer.firstFailed - answer.tracks,
                  std::max(1.0, std::floor(answer.tracks * disk.rules.closeEnough)));
        EXPECT_GE(answer.lowestHeadroomShare, 0.5);
    }
}

TEST(CapacitySearch, ACountThatFailsOnceIsNeverTheAnswer)
{
    // Near the boundary every count fails on its third trial: the answer is
    // a count below all of them that passed three times out of three.
    ScriptedDisk disk{rules(), 1000, [](uint32_t count, uint32_t tried) {
                          return count > 900 && tried == 2;
                      }};
    SearchRun run = search(disk);
    SearchAnswer answer = searchAnswer(disk.rules, run.trials);
    EXPECT_GT(answer.tracks, 0u);
    EXPECT_LE(answer.tracks, 900u);
    EXPECT_GT(answer.firstFailed, answer.tracks);
    EXPECT_LE(answer.firstFailed, 1000u);
    EXPECT_EQ(answer.passes, 3u);
    for (const TrialResult& trial : run.trials) {
        if (trial.count == answer.tracks) {
            EXPECT_TRUE(trial.passed);
        }
    }
    EXPECT_LE(run.elapsedNs, plannedTrials(disk.rules) * trialNs * 3 / 2);
}

TEST(CapacitySearch, AFailureWhereTrialsPassedStepsJustBelowIt)
{
    // The disk slowed: 141 passed twice, then failed. The boundary lies a
    // step below 141, not at half of it.
    std::vector<TrialResult> trials = {
        {141, true, 0.52, 0.4, 0, 0, 0}, {141, true, 0.53, 0.4, 0, 0, 0}, {141, false, 0.49, 0.44, 0, 0, 0}};
    EXPECT_EQ(nextSearchCount(rules(), trials, 10), 135u);
}

TEST(CapacitySearch, AMarginThatRoseIsNoTrendToFollow)
{
    // 16 and 512 passed; 563 passed with more headroom than 512 had. The
    // next count follows the busy share, at most doubled, never the limit.
    SearchRules search = rules();
    std::vector<TrialResult> trials = {
        {16, true, 0.726, 0.001, 0, 0, 0},
        {512, true, 0.52, 0.264, 0, 0, 0},
        {563, true, 0.596, 0.204, 0, 0, 0}};
    EXPECT_EQ(nextSearchCount(search, trials, 10), 1126u);
}

TEST(CapacitySearch, EndsWhereNothingRecordsOrTimeRunsOut)
{
    ScriptedDisk none{rules(), 1, [](uint32_t, uint32_t) { return true; }};
    SearchRun run = search(none);
    std::vector<uint32_t> counts;
    for (const TrialResult& trial : run.trials) counts.push_back(trial.count);
    EXPECT_EQ(counts, (std::vector<uint32_t>{16, 8, 4, 2, 1}));
    SearchAnswer answer = searchAnswer(none.rules, run.trials);
    EXPECT_EQ(answer.tracks, 0u);
    EXPECT_EQ(answer.firstFailed, 1u);

    // Trials ten times as long as planned: it starts none that would end
    // past half again its estimate, spends what is left on the count that
    // passed, and says that it is not confirmed.
    ScriptedDisk slow{rules(), 1530, nullptr};
    slow.ownNs = 10 * trialNs;
    run = search(slow);
    EXPECT_TRUE(run.outOfTime);
    EXPECT_LE(run.elapsedNs, plannedTrials(slow.rules) * trialNs * 3 / 2);
    answer = searchAnswer(slow.rules, run.trials);
    EXPECT_EQ(answer.tracks, 0u);
    EXPECT_GT(answer.unconfirmed, 0u);
}

TEST(CapacitySearch, OutcomeNeedsABracket)
{
    SearchAnswer found{};
    found.tracks = 100;
    found.limit = 4096;
    found.firstFailed = 104;
    found.narrowed = true;
    SearchAnswer wide = found;
    wide.firstFailed = 200;
    wide.narrowed = false;
    SearchAnswer unbracketed = found;
    unbracketed.firstFailed = 0;
    unbracketed.narrowed = false;
    SearchAnswer atLimit = unbracketed;
    atLimit.tracks = 4096;
    SearchAnswer none{};
    none.limit = 4096;
    none.unconfirmed = 50;
    SearchAnswer oneFails = none;
    oneFails.firstFailed = 1;
    SearchEnd quiet{}, interrupted{}, error{}, undecidable{}, take{};
    interrupted.interrupted = true;
    error.error = true;
    undecidable.undecidable = true;
    take.takeFailed = true;
    struct Case {
        SearchAnswer answer;
        SearchEnd end;
        SearchOutcome outcome;
        bool succeeds;
    };
    const Case cases[] = {
        {found, quiet, outcomeFound, true},
        {wide, quiet, outcomeNotNarrowed, false},     // a failure, but far above
        {unbracketed, quiet, outcomeAtLeast, false},  // time ran out, or the counts did
        {atLimit, quiet, outcomeAtLeast, true},       // the limit it was given
        {found, interrupted, outcomeInterrupted, false},
        {found, error, outcomeError, false},
        {none, quiet, outcomeInconclusive, false},
        {oneFails, quiet, outcomeNoCountPassed, false},
        {found, undecidable, outcomeInconclusive, false},
        {found, take, outcomeTakeFailed, false},
    };
    for (const Case& c : cases) {
        SearchOutcome outcome = searchOutcome(c.answer, c.end);
        EXPECT_EQ(outcome, c.outcome) << searchOutcomeName(c.outcome);
        EXPECT_EQ(searchSucceeded(outcome, c.answer), c.succeeds) << searchOutcomeName(c.outcome);
    }
}

// A steady disk whose headroom falls from 0.7 of the buffer at no tracks to
// none at `empty`: the same disk under every rule.
struct SteadyDisk {
    double required;
    uint32_t empty;
    uint64_t clockNs = 0;
};

bool steadyTrial(void* context, uint32_t count, TrialResult& result)
{
    SteadyDisk& disk = *static_cast<SteadyDisk*>(context);
    result.headroomShare = std::max(0.0, 0.7 * (1 - static_cast<double>(count) / disk.empty));
    result.busyShare = std::min(1.0, 0.9 * count / disk.empty);
    result.passed = result.headroomShare >= disk.required;
    disk.clockNs += trialNs;
    return true;
}

uint64_t steadyClock(void* context)
{
    return static_cast<SteadyDisk*>(context)->clockNs;
}

TEST(CapacitySearch, ALooserRuleNeverAnswersLess)
{
    for (uint32_t empty : {40u, 300u, 2500u, 6000u}) {
        uint32_t previous = 0;
        for (double headroom : {0.6, 0.5, 0.25, 0.1, 0.0}) {
            SteadyDisk disk{headroom, empty};
            SearchRules rules = capacitySearchRules(4096, 3, headroom, 720000, 196608);
            CapacityWiring wiring{&disk, steadyTrial, steadyClock, nullptr};
            SearchRun run = runCapacitySearch(rules, plannedTrials(rules) * trialNs, trialNs, wiring);
            SearchAnswer answer = searchAnswer(rules, run.trials);
            EXPECT_GE(answer.tracks, previous) << "disk empty at " << empty << ", headroom " << headroom;
            previous = answer.tracks;
        }
    }
}

TEST(CapacitySearch, DriftComparesTrialsOfOneCount)
{
    // Time per request (ns) and drain speed (bytes/s) of trials at 100 and 200.
    std::vector<TrialResult> trials = {
        {100, true, 0.6, 0.3, 200000, 300e6, 0}, {200, false, 0, 0.9, 260000, 0, 0},
        {100, true, 0.6, 0.3, 250000, 240e6, 0}, {200, true, 0.5, 0.8, 250000, 200e6, 0},
        {100, true, 0.6, 0.3, 210000, 0, 0},
    };
    SearchDrift request = searchDrift(trials, false);
    EXPECT_EQ(request.count, 100u);
    EXPECT_EQ(request.trials, 3u);
    EXPECT_DOUBLE_EQ(request.slowest, 250000);
    EXPECT_NEAR(request.spread, 0.25, 1e-12);
    SearchDrift drain = searchDrift(trials, true);  // unmeasured drains left out
    EXPECT_EQ(drain.count, 100u);
    EXPECT_DOUBLE_EQ(drain.slowest, 240e6);
    EXPECT_NEAR(drain.spread, 0.25, 1e-12);
    EXPECT_EQ(searchDrift({trials[0], trials[1]}, false).count, 0u);
}

}  // namespace
