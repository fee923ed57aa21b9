#include "search/capacity_search.h"

#include <algorithm>
#include <cmath>

#include "search/bracket.h"

namespace {

// Beyond every failure so far. The busy share grows in proportion to the
// count; the headroom margin stays nearly flat until the disk saturates and
// then collapses, so its trend over the two largest counts that passed can
// only shorten the step, never lengthen it. After the first jump from the
// probe a step at most doubles the count, and it grows it by a quarter at
// least, so that a cautious aim cannot make the search creep.
uint32_t aimUpward(const SearchRules& rules, const std::vector<TrialResult>& trials, uint32_t passed)
{
    const TrialResult& top = *latestAt(trials, passed);
    double aim = top.busyShare > 0 ? passed * rules.targetBusy / top.busyShare
                                   : static_cast<double>(passed) * rules.maxGrowth;
    // Through the file cache memory hides the busy share: the drain tells.
    double drain = drainAim(rules, trials);
    if (drain > 0) aim = std::min(aim, std::max(drain, passed * 1.05));
    uint32_t below = largestPassed(trials, passed);
    uint64_t growth = rules.maxGrowth;
    if (below > 0) {
        double upper = margin(rules, top);
        double lower = margin(rules, *latestAt(trials, below));
        if (lower > upper) aim = std::min(aim, passed + (passed - below) * upper / (lower - upper));
        growth = 2;
    }
    uint32_t high = static_cast<uint32_t>(std::min<uint64_t>(rules.limit, passed * growth));
    uint32_t low = std::max(passed + 1, static_cast<uint32_t>(passed * 1.25));
    return clampCount(aim, std::min(low, high), std::max(passed + 1, high));
}

}  // namespace

SearchRules capacitySearchRules(uint32_t limit, uint32_t repeat, double requiredShare,
                                uint32_t bufferBytes, uint32_t requestSize)
{
    SearchRules rules{};
    rules.limit = limit;
    rules.repeat = std::max<uint32_t>(1, repeat);
    rules.requiredShare = requiredShare;
    double bestShare = 1.0 - static_cast<double>(requestSize) / bufferBytes;
    double requestsPerBuffer = static_cast<double>(bufferBytes) / requestSize;
    rules.targetBusy = std::min(0.9, std::max(0.05, (bestShare - requiredShare) * requestsPerBuffer));
    rules.drainBusy = std::min(1.0, std::max(0.05, (bestShare - requiredShare) * requestsPerBuffer));
    rules.probeCount = 16;
    rules.locateCounts = 10;
    rules.closeEnough = 0.05;
    rules.maxGrowth = 32;
    return rules;
}

double drainAim(const SearchRules& rules, const std::vector<TrialResult>& trials)
{
    double drain = rules.drainBytesPerSecond;
    for (const TrialResult& trial : trials)
        if (trial.drainRate > 0 && (drain == 0 || trial.drainRate < drain)) drain = trial.drainRate;
    if (!(drain > 0) || !(rules.recordBytesPerSecond > 0)) return 0;
    return drain * rules.drainBusy / rules.recordBytesPerSecond;
}

uint32_t nextSearchCount(const SearchRules& rules, const std::vector<TrialResult>& trials,
                         uint32_t trialsLeft)
{
    if (trialsLeft == 0 || rules.limit == 0) return 0;
    if (trials.empty()) {
        // Where the device's drain was measured first, straight there.
        double drain = drainAim(rules, trials);
        return drain > 0 ? clampCount(std::floor(drain), 1, rules.limit)
                         : std::min(rules.limit, rules.probeCount);
    }
    uint32_t failed = smallestFailed(trials);
    if (failed == 1) return 0;  // not even one track
    uint32_t passed = largestPassed(trials, failed);
    uint32_t passes = passesAt(trials, passed);
    uint32_t needed = passed == 0 ? rules.repeat : rules.repeat - std::min(rules.repeat, passes);
    bool tight = bracketIsTight(rules, passed, failed);
    if (tight && needed == 0) return 0;
    bool mayLocate = !tight && distinctCounts(trials) < rules.locateCounts && trialsLeft > needed;
    if (passed == 0) {
        // Every count so far failed; just below the smallest failure where
        // a count at or above it passed before, not at half of it.
        if (passedAtOrAbove(trials, failed))
            return clampCount(std::ceil(failed / (1 + rules.closeEnough)), 1, failed - 1);
        return std::max<uint32_t>(1, failed / 2);
    }
    if (mayLocate)
        return failed == noFailure ? aimUpward(rules, trials, passed)
                                   : aimInside(rules, trials, passed, failed);
    if (needed == 0) return 0;
    // The answer's trials apart: after one of them, the smallest count that
    // failed is tried again, while time is left for the rest.
    bool afterAnswer = trials.back().count == passed;
    if (afterAnswer && failed != noFailure && trialsAt(trials, failed) < rules.repeat &&
        trialsLeft > needed)
        return failed;
    return passed;
}

uint32_t nextBisectCount(const SearchRules& rules, uint32_t start,
                         const std::vector<TrialResult>& trials)
{
    if (rules.limit == 0) return 0;
    if (trials.empty()) return clampCount(start, 1, rules.limit);
    uint32_t failed = smallestFailed(trials);
    if (failed == 1) return 0;
    uint32_t passed = largestPassed(trials, failed);
    uint32_t passes = passesAt(trials, passed);
    if (bracketIsTight(rules, passed, failed)) return passes < rules.repeat ? passed : 0;
    if (failed == noFailure) return clampCount(2.0 * passed, passed + 1, rules.limit);
    if (passed == 0) return std::max<uint32_t>(1, failed / 2);
    return aimInside(rules, trials, passed, failed, passed + (failed - passed) / 2.0);
}

SearchAnswer searchAnswer(const SearchRules& rules, const std::vector<TrialResult>& trials)
{
    SearchAnswer answer{};
    uint32_t failed = smallestFailed(trials);
    answer.firstFailed = failed == noFailure ? 0 : failed;
    for (const TrialResult& trial : trials) {
        if (!trial.passed || trial.count >= failed) continue;
        if (passesAt(trials, trial.count) >= rules.repeat)
            answer.tracks = std::max(answer.tracks, trial.count);
        else
            answer.unconfirmed = std::max(answer.unconfirmed, trial.count);
    }
    if (answer.unconfirmed <= answer.tracks) answer.unconfirmed = 0;
    answer.lowestHeadroomShare = 1.0;
    for (const TrialResult& trial : trials)
        if (trial.count == answer.tracks) {
            ++answer.passes;
            answer.lowestHeadroomShare = std::min(answer.lowestHeadroomShare, trial.headroomShare);
        }
    if (answer.tracks == 0) answer.lowestHeadroomShare = 0;
    answer.limit = rules.limit;
    answer.atLimit = answer.tracks == rules.limit && failed == noFailure;
    answer.narrowed = failed != noFailure && bracketIsTight(rules, answer.tracks, failed);
    return answer;
}

const char* searchOutcomeName(SearchOutcome outcome)
{
    switch (outcome) {
    case outcomeFound: return "found";
    case outcomeNotNarrowed: return "not-narrowed";
    case outcomeAtLeast: return "at-least";
    case outcomeInconclusive: return "inconclusive";
    case outcomeInterrupted: return "interrupted";
    case outcomeNoCountPassed: return "no-count-passed";
    case outcomeError: return "error";
    case outcomeTakeFailed: return "take-failed";
    }
    return "unknown";
}

SearchOutcome searchOutcome(const SearchAnswer& answer, const SearchEnd& end)
{
    if (end.interrupted) return outcomeInterrupted;
    if (end.error) return outcomeError;
    if (answer.tracks == 0) {
        if (answer.firstFailed == 1 || answer.limit == 0) return outcomeNoCountPassed;
        return outcomeInconclusive;
    }
    if (end.undecidable) return outcomeInconclusive;
    if (end.takeFailed) return outcomeTakeFailed;
    if (answer.firstFailed == 0) return outcomeAtLeast;
    return answer.narrowed ? outcomeFound : outcomeNotNarrowed;
}

bool searchSucceeded(SearchOutcome outcome, const SearchAnswer& answer)
{
    return outcome == outcomeFound || (outcome == outcomeAtLeast && answer.tracks == answer.limit);
}

SearchDrift searchDrift(const std::vector<TrialResult>& trials, bool byDrain)
{
    SearchDrift drift{};
    std::vector<uint32_t> counts;
    for (const TrialResult& trial : trials) counts.push_back(trial.count);
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    for (uint32_t count : counts) {
        double low = 0, high = 0;
        uint32_t measured = 0;
        for (const TrialResult& trial : trials) {
            double value = byDrain ? trial.drainRate : trial.requestNs;
            if (trial.count != count || !(value > 0)) continue;
            low = measured == 0 ? value : std::min(low, value);
            high = measured == 0 ? value : std::max(high, value);
            ++measured;
        }
        if (measured < 2) continue;
        // Slower is a longer request, or a lower drain speed.
        double slowest = byDrain ? low : high;
        double fastest = byDrain ? high : low;
        double spread = byDrain ? fastest / slowest - 1 : slowest / fastest - 1;
        if (drift.count != 0 && spread <= drift.spread) continue;
        drift = SearchDrift{count, measured, byDrain, slowest, fastest, spread};
    }
    return drift;
}

uint32_t plannedTrials(const SearchRules& rules)
{
    // Finding the boundary among at most `limit` counts, then the repeats
    // at the answer, each after a trial of the count above it.
    return std::min(rules.locateCounts, std::max<uint32_t>(1, rules.limit)) +
           2 * (rules.repeat - 1);
}

uint32_t trialsThatFit(uint64_t limitNs, uint64_t elapsedNs, uint64_t trialNs)
{
    if (elapsedNs >= limitNs || trialNs == 0) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(UINT32_MAX, (limitNs - elapsedNs) / trialNs));
}

SearchRun runCapacitySearch(const SearchRules& rules, uint64_t estimateNs, uint64_t trialNs,
                            const CapacityWiring& wiring)
{
    SearchRun run{};
    uint64_t startNs = wiring.nowNs(wiring.context);
    uint64_t limitNs = estimateNs + estimateNs / 2;
    // The longest trial so far stands for the next: counts grow toward the
    // answer, and so does the time around a trial.
    uint64_t perTrial = trialNs;
    for (;;) {
        uint64_t trialStart = wiring.nowNs(wiring.context);
        run.elapsedNs = trialStart - startNs;
        uint32_t left = trialsThatFit(limitNs, run.elapsedNs, perTrial);
        uint32_t count = nextSearchCount(rules, run.trials, left);
        if (count == 0) {
            // Out of time only when the search had more to do.
            run.outOfTime = left == 0 && nextSearchCount(rules, run.trials, 1) != 0;
            break;
        }
        if (wiring.trialStarting != nullptr)
            wiring.trialStarting(wiring.context, static_cast<uint32_t>(run.trials.size() + 1), count);
        TrialResult result{};
        result.count = count;
        if (!wiring.runTrial(wiring.context, count, result)) {
            run.stopped = true;
            break;
        }
        result.count = count;
        run.trials.push_back(result);
        uint64_t took = wiring.nowNs(wiring.context) - trialStart;
        perTrial = std::max(perTrial, took - std::min(took, result.preparationNs));
    }
    run.elapsedNs = wiring.nowNs(wiring.context) - startNs;
    return run;
}
