// The capacity search as decisions on measured trials: which count of
// recorded tracks to try next, when the answer is found, what it is. It runs
// no trial and reads no clock; runCapacitySearch wires it to a trial runner
// and a clock that the caller hands in, so tests can script both.
//
// A trial's headroom and the disk's busy share fall nearly linearly with the
// count, so the search aims instead of doubling from 1: from a small probe it
// jumps to the count whose busy share would reach what the headroom rule
// allows, then narrows the bracket between the largest count that passed and
// the smallest that failed by interpolating the headroom margin (a guarded
// regula falsi). Near the boundary it tries a count `repeat` times, its
// trials spread apart by trials of the smallest count that failed, so that
// they meet the disk early and late: the answer is the largest count that
// passed every time and lies below every count that ever failed.
#pragma once
#include <cstdint>
#include <vector>

// What one trial showed, as the search needs it.
struct TrialResult {
    uint32_t count;        // recorded tracks
    bool passed;
    double headroomShare;  // the lowest headroom / the buffer; 0 after a dropout
    double busyShare;      // time inside requests / wall time
    // How fast the disk was in this trial, for trials of one count to be
    // compared: the time inside one request (ns), and through the file cache
    // the speed at which the device drained the trial's backlog (bytes/s);
    // 0 where the trial did not measure it.
    double requestNs;
    double drainRate;
    // Time the trial spent before it started on work of the search's own
    // (writing playback files): not part of what the next trial will take.
    uint64_t preparationNs;
};

struct SearchRules {
    uint32_t limit;         // the largest recorded count that may be tried
    uint32_t repeat;        // passes a count needs to be the answer
    double requiredShare;   // headroom / buffer that a trial must keep
    double targetBusy;      // the busy share expected where trials start to fail
    // Through the file cache: the busy share the rule allows the device, so
    // that it must drain the recording at its rate divided by it (all of
    // the time at no headroom), and the drain it showed (bytes/s, 0 none).
    double drainBusy;
    double drainBytesPerSecond;
    double recordBytesPerSecond;  // what one count records
    uint32_t probeCount;    // the first count tried
    uint32_t locateCounts;  // distinct counts tried before the search settles for a bracket
    double closeEnough;     // found when failed - passed <= this share of passed (at least 1)
    uint32_t maxGrowth;     // the most one aimed step multiplies the count by
};

// The rules for a buffer of bufferBytes and requests of requestSize: the
// busy share at the boundary follows from the headroom left beside one
// request (in steady state a track waits for at most one round of requests).
SearchRules capacitySearchRules(uint32_t limit, uint32_t repeat, double requiredShare,
                                uint32_t bufferBytes, uint32_t requestSize);
// The count whose recording the slowest drain so far (the rules', or a
// trial's) takes at the busy share the rule allows; 0 where none was measured.
double drainAim(const SearchRules& rules, const std::vector<TrialResult>& trials);

struct SearchAnswer {
    uint32_t tracks;              // 0 when no count passed `repeat` times
    uint32_t limit;               // the most the search could try
    uint32_t passes;              // trials of `tracks`, all passed
    uint32_t firstFailed;         // the smallest count that ever failed, 0 for none
    uint32_t unconfirmed;         // the largest count that passed fewer times (time ran out), 0 for none
    double lowestHeadroomShare;   // over the trials of `tracks`
    bool atLimit;                 // tracks is the limit and no count failed
    bool narrowed;                // firstFailed lies within the search's step above tracks
};

// The next count to try, 0 when the search is over. trialsLeft: how many
// more trials its time allows.
uint32_t nextSearchCount(const SearchRules& rules, const std::vector<TrialResult>& trials,
                         uint32_t trialsLeft);
SearchAnswer searchAnswer(const SearchRules& rules, const std::vector<TrialResult>& trials);
// The same search on pass or fail alone, for a peer that tells no headroom
// (a recorder): from start, doubling while counts pass and halving while
// they fail, then bisecting the bracket until the answer passed `repeat`
// times within closeEnough below a count that failed. 0 when it is over.
uint32_t nextBisectCount(const SearchRules& rules, uint32_t start,
                         const std::vector<TrialResult>& trials);
// The trials the search plans for: the basis of its time estimate (finding
// the boundary, the repeats at the answer and the trials between them). It
// never starts a trial that would end past half again its estimate.
uint32_t plannedTrials(const SearchRules& rules);
// Whole trials of trialNs that still fit before limitNs, elapsedNs in.
uint32_t trialsThatFit(uint64_t limitNs, uint64_t elapsedNs, uint64_t trialNs);

// How one search ended, which its sentence, its JSON and its exit status
// all follow. Found needs a tight bracket: a count that failed within the
// search's step (5 %) above the answer.
enum SearchOutcome {
    outcomeFound,          // the answer, just below a count that failed
    outcomeNotNarrowed,    // the answer, below a count that failed further up: time ran out first
    outcomeAtLeast,        // the answer, but no count above it failed
    outcomeInconclusive,   // no count confirmed: time ran out, or a trial could not tell
    outcomeInterrupted,    // stopped by the user or the system
    outcomeNoCountPassed,  // not even one track: it failed, or does not fit
    outcomeError,          // a request, a setup or the playback files failed
    outcomeTakeFailed,     // the answer held in its trials, but not for a whole take
};
const char* searchOutcomeName(SearchOutcome outcome);
// Why the search ended, as runCapacitySearch and its runner saw it.
struct SearchEnd {
    bool interrupted;
    bool error;
    bool undecidable;  // a trial could not tell whether it passed
    bool outOfTime;
    bool takeFailed;
};
SearchOutcome searchOutcome(const SearchAnswer& answer, const SearchEnd& end);
// An answer the search can stand behind, for the capacity search and every
// cell of a table alike: found, or at least the limit it was given (tracks,
// space, open files); a front end's success (exit status 0) follows it.
bool searchSucceeded(SearchOutcome outcome, const SearchAnswer& answer);

// How far the disk's speed moved between trials of one count: of the
// counts tried more than once, the one whose trials differ most, by the
// time inside a request (or the drain speed, through the file cache).
struct SearchDrift {
    uint32_t count;  // 0: no count was measured twice
    uint32_t trials;
    bool byDrain;
    double slowest;  // ns per request, or bytes/s
    double fastest;
    double spread;   // (slow / fast) - 1 as a share: 0.25 is 25 %
};
SearchDrift searchDrift(const std::vector<TrialResult>& trials, bool byDrain);
// A move this large is named in the answer.
const double noticeableDrift = 0.10;

// What runCapacitySearch calls: a trial, the clock, and an observer told
// before each trial. runTrial returns false when the search must stop (a
// failed request, a setup that failed, an interruption).
struct CapacityWiring {
    void* context;
    bool (*runTrial)(void* context, uint32_t count, TrialResult& result);
    uint64_t (*nowNs)(void* context);
    void (*trialStarting)(void* context, uint32_t trialNumber, uint32_t count);
};

struct SearchRun {
    std::vector<TrialResult> trials;
    bool stopped;        // runTrial asked to stop
    bool outOfTime;      // ended because no further trial fitted
    uint64_t elapsedNs;
};

// Runs trials as nextSearchCount asks until the search is over, within half
// again estimateNs; trialNs is the time one trial is expected to take
// before any has run.
SearchRun runCapacitySearch(const SearchRules& rules, uint64_t estimateNs, uint64_t trialNs,
                            const CapacityWiring& wiring);
