// Every way a capacity search can end, on scripted trials: its sentence,
// its outcome and whether the command succeeds (exit status 0).
#include <gtest/gtest.h>

#include "analysis/capacity_report.h"

namespace {

TrialResult trialAt(uint32_t count, bool passed, double requestNs = 200000)
{
    return TrialResult{count, passed, passed ? 0.6 : 0.0, 0.3, requestNs, 0, 0};
}

// 48 kHz 24-bit mono, 5 s buffers, 30 s trials, 50 % headroom, 3 repeats.
CapacitySetup setupWithLimit(uint32_t limit, SearchLimitReason reason = limitAsked)
{
    SearchSettings settings;
    settings.formats = {SampleFormat{48000, 24, 1}};
    settings.modes = {SearchMode{1, 0}};
    settings.base = "take.wav";
    CapacitySetup setup;
    EXPECT_EQ(capacitySetupFor(settings, true, setup).problem, settingsReady);
    setup.limit = limit;
    setup.limitReason = reason;
    return setup;
}

TEST(CapacityReport, EveryEndingHasItsSentenceOutcomeAndExit)
{
    const std::vector<TrialResult> found = {trialAt(100, true), trialAt(104, false),
                                            trialAt(100, true), trialAt(104, false),
                                            trialAt(100, true)};
    const std::vector<TrialResult> wide = {trialAt(100, true), trialAt(200, false),
                                           trialAt(100, true), trialAt(100, true)};
    const std::vector<TrialResult> allPassed = {trialAt(100, true), trialAt(100, true),
                                                trialAt(100, true)};
    const std::vector<TrialResult> once = {trialAt(100, true), trialAt(104, false)};
    const std::vector<TrialResult> drifted = {trialAt(100, true, 200000), trialAt(104, false),
                                              trialAt(100, true, 250000), trialAt(104, false),
                                              trialAt(100, true, 210000)};
    SearchEnd quiet{}, outOfTime{}, undecidable{}, interrupted{}, error{};
    outOfTime.outOfTime = true;
    undecidable.undecidable = true;
    interrupted.interrupted = true;
    error.error = true;
    CapacityTake noTake{};
    CapacityTake failedTake{true, SearchTrial{}, 0};
    failedTake.trial.recordTracks = 100;
    struct Case {
        const char* name;
        uint32_t limit;
        SearchLimitReason reason;
        std::vector<TrialResult> trials;
        SearchEnd end;
        CapacityTake take;
        SearchOutcome outcome;
        bool succeeds;
        const char* says;
    };
    const Case cases[] = {
        {"found", 4096, limitAsked, found, quiet, noTake, outcomeFound, true,
         "This disk records 100 tracks of 48 kHz 24-bit mono with a 5.0 s buffer and 192 KByte "
         "requests, file cache bypassed, for 30 s with no dropout and at least 50 % headroom: 3 of "
         "3 trials passed at 100, the lowest headroom 3.00 s of a possible 3.63 s; 104 failed, so "
         "the limit lies from 100 to 103."},
        {"not narrowed", 4096, limitAsked, wide, outOfTime, noTake, outcomeNotNarrowed, false,
         "This disk records at least 100 tracks"},
        {"not narrowed", 4096, limitAsked, wide, outOfTime, noTake, outcomeNotNarrowed, false,
         "; 200 failed, but the search did not narrow the limit between them down to 5 % in time."},
        {"at its limit", 100, limitAsked, allPassed, quiet, noTake, outcomeAtLeast, true,
         "no count failed: the search reached its limit of 100 recorded tracks (the most it was "
         "asked to try)."},
        {"at the space's limit", 100, limitDiskSpace, allPassed, quiet, noTake, outcomeAtLeast, true,
         "(the disk has room for no more)"},
        {"below its limit", 4096, limitAsked, allPassed, outOfTime, noTake, outcomeAtLeast, false,
         "no count failed before the search reached its time limit."},
        {"no count", 4096, limitAsked, {trialAt(1, false)}, quiet, noTake, outcomeNoCountPassed,
         false, "This disk cannot record 1 track of 48 kHz 24-bit mono"},
        {"no room", 0, limitDiskSpace, {}, quiet, noTake, outcomeNoCountPassed, false,
         "Not even one track fits: too little free disk space."},
        {"out of time", 4096, limitAsked, once, outOfTime, noTake, outcomeInconclusive, false,
         "The search ran out of time before any count passed 3 trials: 100 passed fewer, 104 "
         "failed."},
        {"undecidable", 4096, limitAsked, found, undecidable, noTake, outcomeInconclusive, false,
         "The search cannot tell: through the file cache"},
        {"interrupted", 4096, limitAsked, found, interrupted, noTake, outcomeInterrupted, false,
         "The search was interrupted after 5 trials, before it could answer."},
        {"error", 4096, limitAsked, once, error, noTake, outcomeError, false,
         "The search stopped at an error after 2 trials, before it could answer."},
        {"take failed", 4096, limitAsked, found, quiet, failedTake, outcomeTakeFailed, false,
         "This disk kept up with 100 tracks"},
        {"drift", 4096, limitAsked, drifted, quiet, noTake, outcomeFound, true,
         "Between its 3 trials of 100 tracks the disk's time per request moved by 25 % (0.200 to "
         "0.250 ms): the answer is what the disk sustained in its slowest trial."},
    };
    for (const Case& c : cases) {
        CapacitySetup setup = setupWithLimit(c.limit, c.reason);
        if (c.take.ran) setup.takeNs = 600000000000u;
        SearchRun run{c.trials, false, c.end.outOfTime, 0};
        CapacityVerdict verdict = capacityVerdict(setup, run, c.end, c.take);
        std::string sentence = capacitySentence(setup, verdict);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(verdict.outcome, c.outcome) << searchOutcomeName(verdict.outcome);
        EXPECT_EQ(searchSucceeded(verdict.outcome, verdict.answer), c.succeeds);
        EXPECT_NE(sentence.find(c.says), std::string::npos) << sentence;
        if (c.outcome != outcomeFound && c.outcome != outcomeTakeFailed) {
            EXPECT_EQ(sentence.find("so the limit lies"), std::string::npos) << sentence;
        }
    }
}

}  // namespace
