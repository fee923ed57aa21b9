#include "search/bracket.h"

#include <algorithm>
#include <cmath>

uint32_t smallestFailed(const std::vector<TrialResult>& trials)
{
    uint32_t failed = noFailure;
    for (const TrialResult& trial : trials)
        if (!trial.passed) failed = std::min(failed, trial.count);
    return failed;
}

// The largest count below `below` that passed at least once, 0 for none.
uint32_t largestPassed(const std::vector<TrialResult>& trials, uint32_t below)
{
    uint32_t passed = 0;
    for (const TrialResult& trial : trials)
        if (trial.passed && trial.count < below) passed = std::max(passed, trial.count);
    return passed;
}

uint32_t passesAt(const std::vector<TrialResult>& trials, uint32_t count)
{
    uint32_t passes = 0;
    for (const TrialResult& trial : trials)
        if (trial.count == count && trial.passed) ++passes;
    return passes;
}

uint32_t trialsAt(const std::vector<TrialResult>& trials, uint32_t count)
{
    uint32_t tried = 0;
    for (const TrialResult& trial : trials)
        if (trial.count == count) ++tried;
    return tried;
}

uint32_t distinctCounts(const std::vector<TrialResult>& trials)
{
    std::vector<uint32_t> counts;
    for (const TrialResult& trial : trials) counts.push_back(trial.count);
    std::sort(counts.begin(), counts.end());
    return static_cast<uint32_t>(std::unique(counts.begin(), counts.end()) - counts.begin());
}

// The latest trial of a count: its margin and busy share stand for it.
const TrialResult* latestAt(const std::vector<TrialResult>& trials, uint32_t count)
{
    for (auto trial = trials.rbegin(); trial != trials.rend(); ++trial)
        if (trial->count == count) return &*trial;
    return nullptr;
}

double margin(const SearchRules& rules, const TrialResult& trial)
{
    return trial.headroomShare - rules.requiredShare;
}

bool passedAtOrAbove(const std::vector<TrialResult>& trials, uint32_t failed)
{
    for (const TrialResult& trial : trials)
        if (trial.passed && trial.count >= failed) return true;
    return false;
}

bool bracketIsTight(const SearchRules& rules, uint32_t passed, uint32_t failed)
{
    if (passed == 0) return false;
    if (failed == noFailure) return passed >= rules.limit;
    double gap = std::max(1.0, std::floor(passed * rules.closeEnough));
    return failed - passed <= gap;
}

uint32_t clampCount(double value, uint32_t low, uint32_t high)
{
    if (!(value >= low)) return low;  // also NaN
    if (value >= high) return high;
    return static_cast<uint32_t>(value);
}

// The smallest count above passed that closes the bracket when it passes.
static uint32_t tightFromBelow(const SearchRules& rules, uint32_t passed, uint32_t failed)
{
    uint32_t count = clampCount(std::ceil(failed / (1 + rules.closeEnough)), passed + 1, failed - 1);
    while (count > passed + 1 && bracketIsTight(rules, count - 1, failed)) --count;
    while (count < failed - 1 && !bracketIsTight(rules, count, failed)) ++count;
    return count;
}

uint32_t aimInside(const SearchRules& rules, const std::vector<TrialResult>& trials,
                   uint32_t passed, uint32_t failed, double hint)
{
    double middle = passed + (failed - passed) / 2.0;
    double aim = middle;
    size_t n = trials.size();
    bool sameSide = n >= 2 && trials[n - 1].passed == trials[n - 2].passed &&
                    trials[n - 1].count != trials[n - 2].count;
    double upper = margin(rules, *latestAt(trials, passed));
    double lower = margin(rules, *latestAt(trials, failed));
    // Margins this close say more of a disk's noise than of a trend: halve.
    if (!sameSide && upper - lower >= headroomNoise) aim = passed + (failed - passed) * upper / (upper - lower);
    if (hint > 0) aim = hint;
    // Where the aim is near an end of the bracket, the count that closes it
    // if the trial goes there as expected: one step above the count that
    // passed (a failure there is tight), or the lowest count a step below
    // the one that failed (so is a pass).
    uint32_t failing = std::min(failed - 1, passed + std::max<uint32_t>(1, static_cast<uint32_t>(
                                                                            passed * rules.closeEnough)));
    uint32_t passing = tightFromBelow(rules, passed, failed);
    if (passing <= failing) return clampCount(aim, passing, failing);  // any of them closes it
    if (aim <= failing) return failing;
    if (aim >= passing) return passing;
    uint32_t guard = std::max<uint32_t>(1, (failed - passed) / 8);
    uint32_t next = passed + guard > failed - guard ? clampCount(middle, passed + 1, failed - 1)
                                                    : clampCount(aim, passed + guard, failed - guard);
    return std::min(std::max(next, failing), passing);
}
