#include "search/table_search.h"

#include <algorithm>
#include <cmath>

#include "search/bracket.h"

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

uint32_t predictCellCount(const RequestCostModel& model, const SearchMode& mode,
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
