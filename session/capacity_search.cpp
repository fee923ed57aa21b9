#include "session/capacity_search.h"
#include "session/table_search.h"

#include <algorithm>
#include <cmath>

namespace {

const uint32_t noFailure = UINT32_MAX;

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

// Inside the bracket: where the margin, interpolated, crosses zero; the
// midpoint when the last two trials fell on the same side (interpolation
// alone can creep up on a curved margin from one side).
uint32_t aimInside(const SearchRules& rules, const std::vector<TrialResult>& trials,
                   uint32_t passed, uint32_t failed)
{
    double middle = passed + (failed - passed) / 2.0;
    double aim = middle;
    size_t n = trials.size();
    bool sameSide = n >= 2 && trials[n - 1].passed == trials[n - 2].passed &&
                    trials[n - 1].count != trials[n - 2].count;
    double upper = margin(rules, *latestAt(trials, passed));
    double lower = margin(rules, *latestAt(trials, failed));
    if (!sameSide && upper > lower) aim = passed + (failed - passed) * upper / (upper - lower);
    uint32_t guard = std::max<uint32_t>(1, (failed - passed) / 8);
    if (passed + guard > failed - guard) return clampCount(middle, passed + 1, failed - 1);
    return clampCount(aim, passed + guard, failed - guard);
}

}  // namespace

SearchRules capacitySearchRules(uint32_t limit, uint32_t repeat, double requiredShare,
                                uint32_t bufferBytes, uint32_t requestSize)
{
    SearchRules rules;
    rules.limit = limit;
    rules.repeat = std::max<uint32_t>(1, repeat);
    rules.requiredShare = requiredShare;
    double bestShare = 1.0 - static_cast<double>(requestSize) / bufferBytes;
    double requestsPerBuffer = static_cast<double>(bufferBytes) / requestSize;
    rules.targetBusy = std::min(0.9, std::max(0.05, (bestShare - requiredShare) * requestsPerBuffer));
    rules.probeCount = 16;
    rules.locateCounts = 10;
    rules.closeEnough = 0.05;
    rules.maxGrowth = 32;
    return rules;
}

uint32_t nextSearchCount(const SearchRules& rules, const std::vector<TrialResult>& trials,
                         uint32_t trialsLeft)
{
    if (trialsLeft == 0 || rules.limit == 0) return 0;
    if (trials.empty()) return std::min(rules.limit, rules.probeCount);
    uint32_t failed = smallestFailed(trials);
    if (failed == 1) return 0;  // not even one track
    uint32_t passed = largestPassed(trials, failed);
    uint32_t passes = passesAt(trials, passed);
    uint32_t needed = passed == 0 ? rules.repeat : rules.repeat - std::min(rules.repeat, passes);
    bool tight = bracketIsTight(rules, passed, failed);
    if (tight && needed == 0) return 0;
    bool mayLocate = !tight && distinctCounts(trials) < rules.locateCounts && trialsLeft > needed;
    if (passed == 0) return std::max<uint32_t>(1, failed / 2);  // every count so far failed
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
    return answer;
}

const char* capacityOutcomeName(CapacityOutcome outcome)
{
    switch (outcome) {
    case outcomeFound: return "found";
    case outcomeAtLeast: return "at-least";
    case outcomeInconclusive: return "inconclusive";
    case outcomeInterrupted: return "interrupted";
    case outcomeNoCountPassed: return "no-count-passed";
    case outcomeError: return "error";
    case outcomeTakeFailed: return "take-failed";
    }
    return "unknown";
}

CapacityOutcome capacityOutcome(const SearchAnswer& answer, const SearchEnd& end)
{
    if (end.interrupted) return outcomeInterrupted;
    if (end.error) return outcomeError;
    if (answer.tracks == 0) {
        if (answer.firstFailed == 1 || answer.limit == 0) return outcomeNoCountPassed;
        return outcomeInconclusive;
    }
    if (end.undecidable) return outcomeInconclusive;
    if (end.takeFailed) return outcomeTakeFailed;
    return answer.firstFailed != 0 ? outcomeFound : outcomeAtLeast;
}

bool capacityOutcomeSucceeds(CapacityOutcome outcome, const SearchAnswer& answer)
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

RequestCostModel fitRequestCost(const std::vector<CostSample>& samples)
{
    RequestCostModel model{};
    for (int direction = 0; direction < 2; ++direction) {
        bool write = direction == 0;
        CostLine& line = write ? model.write : model.read;
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        std::vector<uint32_t> sizes;
        for (const CostSample& sample : samples) {
            if (sample.write != write || !(sample.requestNs > 0)) continue;
            double x = sample.requestSize;
            n += 1;
            sx += x;
            sy += sample.requestNs;
            sxx += x * x;
            sxy += x * sample.requestNs;
            sizes.push_back(sample.requestSize);
        }
        std::sort(sizes.begin(), sizes.end());
        line.samples = static_cast<uint32_t>(n);
        if (std::unique(sizes.begin(), sizes.end()) - sizes.begin() < 2) continue;
        double denominator = n * sxx - sx * sx;
        line.nsPerByte = (n * sxy - sx * sy) / denominator;
        line.fixedNs = (sy - line.nsPerByte * sx) / n;
        // A disk cannot get faster per request as requests grow, nor take
        // less than nothing for an empty one.
        if (line.nsPerByte < 0) {
            line.nsPerByte = 0;
            line.fixedNs = sy / n;
        } else if (line.fixedNs < 0) {
            line.fixedNs = 0;
            line.nsPerByte = sxy / sxx;
        }
        line.valid = true;
        for (const CostSample& sample : samples)
            if (sample.write == write && sample.requestNs > 0)
                line.worstMiss = std::max(
                    line.worstMiss,
                    std::fabs(sample.requestNs / fittedRequestNs(line, sample.requestSize) - 1));
    }
    return model;
}

RequestCostModel refineRequestCost(const std::vector<CostSample>& calibration,
                                   const std::vector<CostSample>& trials)
{
    auto same = [](const CostSample& a, const CostSample& b) {
        return a.requestSize == b.requestSize && a.write == b.write;
    };
    std::vector<CostSample> samples;
    for (const CostSample& measured : trials) {
        bool seen = false;
        for (const CostSample& kept : samples) seen = seen || same(kept, measured);
        if (seen) continue;
        std::vector<double> times;
        for (const CostSample& other : trials)
            if (same(other, measured)) times.push_back(other.requestNs);
        std::sort(times.begin(), times.end());
        samples.push_back({measured.requestSize, measured.write, times[(times.size() - 1) / 2]});
    }
    for (const CostSample& sample : calibration) {
        bool measured = false;
        for (const CostSample& kept : samples) measured = measured || same(kept, sample);
        if (!measured) samples.push_back(sample);
    }
    return fitRequestCost(samples);
}

double fittedRequestNs(const CostLine& line, uint32_t requestSize)
{
    return std::max(1.0, line.fixedNs + line.nsPerByte * requestSize);
}

uint32_t predictCellCount(const RequestCostModel& model, const CellMode& mode,
                          uint32_t bytesPerSecond, uint32_t requestSize, double targetBusy,
                          uint32_t limit)
{
    if ((mode.record > 0 && !model.write.valid) || (mode.play > 0 && !model.read.valid)) return 0;
    double requestsPerSecond = static_cast<double>(bytesPerSecond) / requestSize;
    double busyPerUnit = requestsPerSecond * 1e-9 *
                         (mode.record * fittedRequestNs(model.write, requestSize) +
                          mode.play * fittedRequestNs(model.read, requestSize));
    if (!(busyPerUnit > 0)) return limit;
    return clampCount(std::floor(targetBusy / busyPerUnit), std::min<uint32_t>(1, limit), limit);
}

namespace {

SearchRules rulesOfCell(const CellRules& rules)
{
    SearchRules search{};
    search.limit = rules.limit;
    search.repeat = std::max<uint32_t>(1, rules.repeat);
    search.requiredShare = rules.requiredShare;
    search.targetBusy = rules.targetBusy;
    search.closeEnough = rules.step;
    return search;
}

// The step after `steps` trials on one side: step, 2 step, 4 step ...
// A busy share this high says only that the disk was saturated, not how far.
const double saturatedBusy = 0.97;

double stepFactor(const CellRules& rules, uint32_t steps)
{
    return rules.step * std::pow(2.0, std::min<uint32_t>(steps, 8) - 1.0);
}

}  // namespace

uint32_t nextCellCount(const CellRules& rules, const std::vector<TrialResult>& trials,
                       uint32_t trialsLeft)
{
    if (trialsLeft == 0 || rules.limit == 0) return 0;
    if (trials.empty()) return clampCount(rules.prediction, 1, rules.limit);
    SearchRules search = rulesOfCell(rules);
    uint32_t failed = smallestFailed(trials);
    if (failed == 1) return 0;  // not even one
    uint32_t passed = largestPassed(trials, failed);
    uint32_t needed = search.repeat - std::min(search.repeat, passesAt(trials, passed));
    bool settled = bracketIsTight(search, passed, failed);
    if (settled) {
        if (needed == 0) return 0;
        // The answer's trials apart, as the capacity search keeps them.
        if (trials.back().count == passed && failed != noFailure &&
            trialsAt(trials, failed) < search.repeat && trialsLeft > needed)
            return failed;
        return passed;
    }
    uint32_t steps = distinctCounts(trials);
    if (failed == noFailure) {
        // Every count passed: up, by a step that grows while they pass, or
        // less where the busy share says the boundary is near.
        const TrialResult& top = *latestAt(trials, passed);
        double far = passed * (1 + stepFactor(rules, steps));
        double near = passed * (1 + rules.step);
        double aim = top.busyShare > 0 ? passed * rules.targetBusy / top.busyShare : far;
        // Rounded down: one step up from a count that passed is a bracket
        // tight enough when it fails.
        return clampCount(std::floor(std::max(near, std::min(aim, far))), passed + 1, rules.limit);
    }
    if (passed == 0) {
        // Every count failed: down likewise, at least halving after a few.
        // Where the smallest failure's busy share was over the rule's but short
        // of a saturated disk's, it tells where the disk would be as busy as
        // the rule allows: there at once (no lower than half), so that a
        // prediction far too high costs one trial, not a walk down.
        // One step down is the count a step below it: a tight bracket when it passes.
        const TrialResult& lowest = *latestAt(trials, failed);
        double far = failed * std::max(0.5, 1 - stepFactor(rules, steps));
        double near = failed / (1 + rules.step);
        double down = std::min(near, far);
        if (lowest.busyShare > rules.targetBusy && lowest.busyShare < saturatedBusy)
            down = std::min(near, std::max(0.5 * failed, failed * rules.targetBusy / lowest.busyShare));
        return clampCount(std::ceil(down), 1, failed - 1);
    }
    return aimInside(search, trials, passed, failed);
}

SearchAnswer cellAnswer(const CellRules& rules, const std::vector<TrialResult>& trials)
{
    return searchAnswer(rulesOfCell(rules), trials);
}
