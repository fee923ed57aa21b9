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

namespace {

const QueueSample* queueSampleAt(const TableModel& model, uint32_t requestSize, bool write)
{
    for (const QueueSample& sample : model.queue)
        if (sample.requestSize == requestSize && sample.write == write) return &sample;
    return nullptr;
}

double requestSeconds(const TableModel& model, uint32_t requestSize, bool write)
{
    const CostLine& line = write ? model.cost.write : model.cost.read;
    return line.valid ? fittedRequestNs(line, requestSize) / 1e9 : 0;
}

// Tracks of each direction in `units` units of a mode.
double directionTracks(const SearchMode& mode, bool write, double units)
{
    return units * (write ? mode.record : mode.play);
}

}  // namespace

double queueSecondsPerTrack(const TableModel& model, uint32_t requestSize, bool write)
{
    if (const QueueSample* same = queueSampleAt(model, requestSize, write)) return same->secondsPerTrack;
    double seconds = requestSeconds(model, requestSize, write);
    // The other direction at this size, then the nearest size learnt in
    // this direction, then in the other, scaled by their times per request.
    if (const QueueSample* other = queueSampleAt(model, requestSize, !write)) {
        double there = requestSeconds(model, requestSize, !write);
        if (there > 0 && seconds > 0) return other->secondsPerTrack * seconds / there;
    }
    for (bool sameDirection : {true, false}) {
        bool direction = sameDirection ? write : !write;
        const QueueSample* nearest = nullptr;
        for (const QueueSample& sample : model.queue)
            if (sample.write == direction &&
                (nearest == nullptr ||
                 std::fabs(std::log(double(sample.requestSize) / requestSize)) <
                     std::fabs(std::log(double(nearest->requestSize) / requestSize))))
                nearest = &sample;
        double there = nearest == nullptr ? 0 : requestSeconds(model, nearest->requestSize, direction);
        if (nearest != nullptr && there > 0 && seconds > 0)
            return nearest->secondsPerTrack * seconds / there;
    }
    return seconds;
}

uint32_t predictCell(const TableModel& model, const CellShape& shape, uint32_t limit)
{
    const SearchMode& mode = shape.mode;
    if ((mode.record > 0 && !model.cost.write.valid) || (mode.play > 0 && !model.cost.read.valid))
        return 0;
    double requestsPerSecond = static_cast<double>(shape.bytesPerSecond) / shape.requestSize;
    double busyPerUnit = 0, headroomPerUnit = 0;  // busy share and headroom seconds
    for (bool write : {true, false}) {
        double tracks = directionTracks(mode, write, 1);
        if (tracks == 0) continue;
        busyPerUnit += tracks * requestsPerSecond * requestSeconds(model, shape.requestSize, write);
        headroomPerUnit += tracks * queueSecondsPerTrack(model, shape.requestSize, write);
    }
    double units = HUGE_VAL;
    if (busyPerUnit > 0) units = std::min(units, shape.targetBusy / busyPerUnit);
    double spare = (shape.bestShare - shape.requiredShare) * shape.bufferSeconds;
    if (headroomPerUnit > 0) units = std::min(units, spare / headroomPerUnit);
    if (mode.record > 0 && mode.play > 0 && model.mixedScale > 0) units *= model.mixedScale;
    units = std::min(units, static_cast<double>(limit));
    // Through the file cache the device must drain the recording at its
    // rate divided by the busy share the rule allows.
    if (shape.throughCache && mode.record > 0 && model.drainBytesPerSecond > 0)
        units = std::min(units, model.drainBytesPerSecond * shape.drainBusy /
                                    (static_cast<double>(mode.record) * shape.bytesPerSecond));
    return clampCount(std::floor(units), std::min<uint32_t>(1, limit), limit);
}

void learnFromCell(TableModel& model, const CellShape& shape, const std::vector<TrialResult>& trials)
{
    const SearchMode& mode = shape.mode;
    if (mode.record > 0 && mode.play > 0) {
        // Whose headroom was it: both directions'. What is learnt is how far
        // the sum of the two missed, at the largest count that passed.
        uint32_t passed = 0;
        for (const TrialResult& trial : trials)
            if (trial.passed) passed = std::max(passed, trial.count);
        TableModel summed = model;
        summed.mixedScale = 0;
        CellShape byCost = shape;
        byCost.throughCache = false;  // the drain bounds bytes, not the mix
        uint32_t sum = predictCell(summed, byCost, UINT32_MAX);
        if (passed > 0 && sum > 0)
            model.mixedScale = std::min(4.0, std::max(0.25, static_cast<double>(passed) / sum));
        return;
    }
    bool write = mode.record > 0;
    // The largest count that passed with headroom to show, else the
    // smallest that failed without a dropout.
    const TrialResult* near = nullptr;
    for (const TrialResult& trial : trials)
        if (trial.passed && trial.headroomShare > 0 && (near == nullptr || trial.count > near->count))
            near = &trial;
    for (const TrialResult& trial : trials)
        if (near == nullptr && !trial.passed && trial.headroomShare > 0) near = &trial;
    if (near == nullptr || near->count == 0) return;
    double lost = (shape.bestShare - near->headroomShare) * shape.bufferSeconds;
    if (!(lost > 0)) return;
    QueueSample sample{shape.requestSize, write, lost / directionTracks(mode, write, near->count)};
    for (QueueSample& kept : model.queue)
        if (kept.requestSize == sample.requestSize && kept.write == sample.write) {
            kept = sample;
            return;
        }
    model.queue.push_back(sample);
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

// A busy share this high says only that the disk was saturated, not how far.
const double saturatedBusy = 0.97;

// The step after `steps` trials on one side: step, 2 step, 4 step ...
double stepFactor(const CellRules& rules, uint32_t steps)
{
    return rules.step * std::pow(2.0, std::min<uint32_t>(steps, 8) - 1.0);
}

}  // namespace

namespace {

// A busy share this high, or higher, in a trial that passed: the disk holds
// busier than the rule expects (a capped disk's requests stretch as it
// fills), so its busy share says little of where it fails.
bool busyMisleads(const CellRules& rules, const std::vector<TrialResult>& trials)
{
    for (const TrialResult& trial : trials)
        if (trial.passed && trial.busyShare > rules.targetBusy) return true;
    return false;
}

// Where every count failed: the two smallest that kept some headroom, true
// when the headroom fell from the one to the other by more than a disk's
// noise.
bool failuresFall(const std::vector<TrialResult>& trials, const TrialResult*& nearest,
                  const TrialResult*& next)
{
    nearest = next = nullptr;
    for (const TrialResult& trial : trials) {
        if (trial.passed) return false;
        if (!(trial.headroomShare > 0)) continue;
        if (nearest == nullptr || trial.count < nearest->count) {
            if (nearest != nullptr && nearest->count != trial.count) next = nearest;
            nearest = &trial;
        } else if (trial.count > nearest->count && (next == nullptr || trial.count < next->count)) {
            next = &trial;
        }
    }
    return next != nullptr && nearest->headroomShare - next->headroomShare >= headroomNoise / 2;
}

}  // namespace

double cellAim(const CellRules& rules, const std::vector<TrialResult>& trials)
{
    // The two largest counts whose trial kept some headroom (no dropout).
    const TrialResult* top = nullptr;
    const TrialResult* below = nullptr;
    for (auto trial = trials.rbegin(); trial != trials.rend(); ++trial) {
        if (!(trial->headroomShare > 0)) continue;
        if (top == nullptr || trial->count > top->count) {
            if (top != nullptr && top->count != trial->count) below = top;
            top = &*trial;
        } else if (trial->count < top->count && (below == nullptr || trial->count > below->count)) {
            below = &*trial;
        }
    }
    // Headroom that falls with the count: through the two, where they lie
    // far enough apart to be no disk's noise; else through the best a
    // trial can show at none: all the way up from a count that passed (a
    // capped disk loses most of its headroom to its first tracks), half way
    // down from one that failed (a headroom that falls faster as the disk
    // fills would overshoot). Two counts a step or more apart that kept the
    // same headroom show none falling: the disk holds it until close to its
    // end (a capped disk), which tells nothing of where.
    double headroomAim = 0;
    bool flat = below != nullptr && top->count >= below->count * (1 + rules.step) &&
                below->headroomShare - top->headroomShare < headroomNoise / 2;
    if (top != nullptr && rules.bestShare - top->headroomShare >= headroomNoise && !flat) {
        double slope = (top->passed ? 1 : 2) * (rules.bestShare - top->headroomShare) / top->count;
        if (below != nullptr && below->headroomShare - top->headroomShare >= headroomNoise / 2)
            slope = (below->headroomShare - top->headroomShare) / (top->count - below->count);
        headroomAim = top->count + (top->headroomShare - rules.requiredShare) / slope;
    }
    // Where every count failed, the two smallest lie nearest the rule: a
    // capped disk's headroom falls steeply far above its boundary and
    // barely just above it, so the slope through the largest overshoots.
    const TrialResult* nearest = nullptr;
    const TrialResult* next = nullptr;
    if (failuresFall(trials, nearest, next))
        headroomAim = nearest->count - (rules.requiredShare - nearest->headroomShare) /
                                           (nearest->headroomShare - next->headroomShare) *
                                           (next->count - nearest->count);
    // How busy a unit keeps the disk, at the largest count tried: by its busy
    // share, or where that only says the disk was saturated, by the time
    // inside its requests. Where the disk passed busier than the rule
    // expects, it holds until it saturates: aim there, but no further,
    // whatever headroom it kept (a disk cannot be busier than all the time).
    const TrialResult* largest = nullptr;
    for (const TrialResult& trial : trials)
        if (largest == nullptr || trial.count >= largest->count) largest = &trial;
    bool misleads = busyMisleads(rules, trials);
    double target = misleads ? saturatedBusy : rules.targetBusy;
    double busyAim = 0;
    if (largest != nullptr && largest->busyShare > 0 && largest->busyShare < saturatedBusy)
        busyAim = largest->count * target / largest->busyShare;
    else if (largest != nullptr && largest->requestNs > 0 && rules.requestsPerUnit > 0)
        busyAim = target / (rules.requestsPerUnit * largest->requestNs * 1e-9);
    double aim = headroomAim;
    if (busyAim > 0) aim = aim > 0 ? std::min(aim, busyAim) : busyAim;
    // Through the file cache, the slowest drain a trial measured.
    double drain = 0;
    for (const TrialResult& trial : trials)
        if (trial.drainRate > 0 && (drain == 0 || trial.drainRate < drain)) drain = trial.drainRate;
    if (drain > 0 && rules.recordBytesPerUnit > 0) {
        double drainAim = drain * rules.drainBusy / rules.recordBytesPerUnit;
        aim = aim > 0 ? std::min(aim, drainAim) : drainAim;
    }
    return aim;
}

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
    double aim = cellAim(rules, trials);
    if (failed == noFailure) {
        // Every count passed: up to where the trials aim, at most eightfold;
        // the first step up from a count that passed is a bracket tight
        // enough when it fails (rounded down).
        // Where the headroom already falls, no more than twofold; at least a
        // step that doubles with every count that passed (5, 10, 20 % ...),
        // so that a cautious aim cannot make the cell creep. Where the cache
        // reads ahead, a trial that kept all its headroom says nothing of how
        // far the disk goes: no more than twofold either.
        // A count that passed with its headroom within noise of the rule
        // sits at the boundary: one step up, which is tight when it fails.
        const TrialResult& top = *latestAt(trials, passed);
        bool atRule = top.headroomShare - rules.requiredShare < headroomNoise;
        double near = passed * (1 + (atRule ? rules.step : stepFactor(rules, steps)));
        bool fell = rules.bestShare - top.headroomShare >= headroomNoise;
        double far = passed * (fell || rules.readAhead ? 2.0 : 8.0);
        double up = aim > 0 ? std::max(near, std::min(aim, far)) : far;
        return clampCount(std::floor(up), passed + 1, rules.limit);
    }
    if (passed == 0) {
        // Every count failed: down to where the trials aim (no further than
        // a quarter at once), else as far as the busy share of a disk over
        // the rule's but short of saturated says, else by a step that
        // doubles, no further than half at once. A step down is the count
        // a step below it: tight when it passes. Where a count at or above
        // the smallest failure passed before (a disk that slowed, or one
        // near its boundary either way), the boundary lies just below it.
        const TrialResult& lowest = *latestAt(trials, failed);
        double near = failed / (1 + rules.step);
        double down = std::max(0.5 * failed, failed * (1 - stepFactor(rules, steps)));
        // Failures whose headroom fell with the count measured where the
        // rule lies: the aim is no guess there, and the walk would pass
        // it. Failures that all sit just under the rule (a capped disk's
        // plateau) tell nothing of how far.
        const TrialResult* nearest = nullptr;
        const TrialResult* next = nullptr;
        if (passedAtOrAbove(trials, failed))
            down = near;
        else if (aim > 0 && failuresFall(trials, nearest, next))
            down = std::max(0.25 * failed, aim);
        else if (aim > 0)
            down = std::min(down, std::max(0.25 * failed, aim));
        else if (lowest.busyShare > rules.targetBusy && lowest.busyShare < saturatedBusy)
            down = std::max(0.5 * failed, failed * rules.targetBusy / lowest.busyShare);
        return clampCount(std::ceil(std::min(near, down)), 1, failed - 1);
    }
    // Inside the bracket: where the headroom, interpolated between the two
    // ends, reaches the rule (the bracket's own aim); where the failure
    // saturated the disk and dropped audio (a dropout's headroom is no
    // margin to interpolate), where the trials aim.
    const TrialResult& high = *latestAt(trials, failed);
    double hint = 0;
    if (!(high.headroomShare > 0) && high.busyShare >= saturatedBusy) hint = aim;
    // A failure on the drain alone (its headroom kept the rule): the
    // headroom says nothing of it; the drain does, unless it points at or
    // below a count that passed: then it is the slowest drain of a trial
    // that kept up all the same, and only halving the bracket is sure not
    // to creep up from it a step at a time.
    if (high.headroomShare >= rules.requiredShare && high.drainRate > 0 && rules.recordBytesPerUnit > 0)
        hint = aim > passed ? aim : passed + (failed - passed) / 2.0;
    return aimInside(search, trials, passed, failed, hint);
}

CellReach cellReach(const CellRules& rules, const std::vector<TrialResult>& trials)
{
    CellReach reach{};
    for (const TrialResult& trial : trials)
        if (trial.count > reach.count ||
            (trial.count == reach.count && trial.headroomShare < reach.headroomShare))
            reach = CellReach{trial.count, trial.busyShare, trial.headroomShare, 0};
    double aim = cellAim(rules, trials);
    reach.beyond = aim >= UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(aim);
    return reach;
}

SearchAnswer cellAnswer(const CellRules& rules, const std::vector<TrialResult>& trials)
{
    return searchAnswer(rulesOfCell(rules), trials);
}

bool cellConfirming(const CellRules& rules, const std::vector<TrialResult>& trials)
{
    if (trials.empty()) return false;
    SearchRules search = rulesOfCell(rules);
    uint32_t failed = smallestFailed(trials);
    uint32_t passed = largestPassed(trials, failed);
    return passed > 0 && bracketIsTight(search, passed, failed) &&
           passesAt(trials, passed) < search.repeat;
}

uint64_t cellBudgetNs(uint64_t nowNs, uint64_t deadlineNs, uint64_t owedNs, uint64_t fairEndNs)
{
    uint64_t kept = deadlineNs > nowNs + owedNs ? deadlineNs - nowNs - owedNs : 0;
    uint64_t fairEnd = std::min(fairEndNs, deadlineNs);
    return std::max(kept, fairEnd > nowNs ? fairEnd - nowNs : 0);
}

uint64_t cellFairEndNs(uint64_t startNs, uint64_t deadlineNs, size_t cellsFromHere)
{
    if (deadlineNs <= startNs || cellsFromHere == 0) return startNs;
    return startNs + (deadlineNs - startNs) / cellsFromHere;
}
