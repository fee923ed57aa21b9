#include "search/capacity_plan.h"

#include <algorithm>

#include "engine/plan.h"

bool parsePlayRatio(const std::string& text, PlayRatio& ratio)
{
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    uint32_t parts[2] = {0, 0};
    std::string pieces[2] = {text.substr(0, colon), text.substr(colon + 1)};
    for (int i = 0; i < 2; ++i) {
        if (pieces[i].size() > 4) return false;
        for (char c : pieces[i]) {
            if (c < '0' || c > '9') return false;
            parts[i] = parts[i] * 10 + static_cast<uint32_t>(c - '0');
        }
    }
    if (parts[0] == 0) return false;
    ratio.record = parts[0];
    ratio.play = parts[1];
    return true;
}

uint32_t playTracksFor(const PlayRatio& ratio, uint32_t recordTracks)
{
    uint64_t scaled = static_cast<uint64_t>(recordTracks) * ratio.play;
    return static_cast<uint32_t>((scaled + ratio.record / 2) / ratio.record);
}

uint32_t maxRecordTracksFor(const PlayRatio& ratio, uint32_t maxTracks)
{
    uint32_t count = maxTracks;
    while (count > 0 && count + playTracksFor(ratio, count) > maxTracks) --count;
    return count;
}

bool trialPasses(const SessionSummary& summary, double headroomPercent)
{
    if (sessionOutcome(summary) != sessionNoDropout) return false;
    return 100.0 * lowestHeadroomBytes(summary) >= headroomPercent * summary.config.bufferBytes;
}

TrialResult trialResult(const SessionSummary& summary, bool passed)
{
    TrialResult result{};
    result.count = summary.config.recordTracks;
    result.passed = passed;
    result.headroomShare = sessionHasDropout(summary)
                               ? 0.0
                               : static_cast<double>(lowestHeadroomBytes(summary)) /
                                     summary.config.bufferBytes;
    result.busyShare = diskBusyPercent(summary) / 100.0;
    result.requestNs = summary.requestCount == 0
                           ? 0
                           : static_cast<double>(summary.busyNs) / summary.requestCount;
    if (summary.drain == drainKeptPace || summary.drain == drainTooSlow)
        result.drainRate = summary.drainBytesPerSecond;
    return result;
}

uint64_t playFileBytes(const SessionConfig& config)
{
    uint64_t request = config.requestSize;
    uint64_t played = framesDueBy(config.frameRate, config.durationNs) * config.frameBytes;
    return prerollRequests(config) * request + (played + request - 1) / request * request + request;
}

uint64_t trialDiskBytes(const SessionConfig& config, const PlayRatio& ratio, uint32_t recordTracks)
{
    return recordedBytesPerTrack(config) * recordTracks +
           playFileBytes(config) * playTracksFor(ratio, recordTracks);
}

SearchRules capacityRules(const CapacitySetup& setup)
{
    return capacitySearchRules(setup.limit, setup.repeat, setup.headroomPercent / 100.0,
                               setup.config.bufferBytes, setup.config.requestSize);
}


uint64_t searchDiskBytes(const CapacitySetup& setup, uint32_t recordTracks)
{
    SessionConfig take = setup.config;
    take.durationNs = std::max(take.durationNs, setup.takeNs);
    return recordedBytesPerTrack(take) * recordTracks +
           playFileBytes(setup.config) * playTracksFor(setup.ratio, recordTracks);
}

// A trial's (or the take's) length and its setup; through the file cache
// also the flush of its recording, which at the boundary drains at the
// rate the headroom rule allows, so for at most that share of its length.
static uint64_t runNs(const CapacitySetup& setup, uint64_t lengthNs)
{
    uint64_t ns = lengthNs + trialSetupNs;
    if (setup.caching == throughFileCache)
        ns += static_cast<uint64_t>(lengthNs * capacityRules(setup).targetBusy);
    return ns;
}

uint64_t nominalTrialNs(const CapacitySetup& setup)
{
    return runNs(setup, setup.config.durationNs);
}

uint64_t playbackWriteNs(const CapacitySetup& setup)
{
    uint64_t bytes = playFileBytes(setup.config) * playTracksFor(setup.ratio, setup.limit);
    return bytes / nominalPlaybackWriteRate * 1000000000u +
           bytes % nominalPlaybackWriteRate * 1000000000u / nominalPlaybackWriteRate;
}

uint64_t searchEstimateNs(const CapacitySetup& setup)
{
    return plannedTrials(capacityRules(setup)) * nominalTrialNs(setup) + playbackWriteNs(setup);
}

uint64_t takeEstimateNs(const CapacitySetup& setup)
{
    return setup.takeNs == 0 ? 0 : runNs(setup, setup.takeNs);
}

uint64_t capacityEstimateNs(const CapacitySetup& setup)
{
    return searchEstimateNs(setup) + takeEstimateNs(setup);
}

CapacityVerdict capacityVerdict(const CapacitySetup& setup, const SearchRun& run,
                                const SearchEnd& end, const CapacityTake& take)
{
    CapacityVerdict verdict{};
    verdict.answer = searchAnswer(capacityRules(setup), run.trials);
    verdict.end = end;
    verdict.end.outOfTime = end.outOfTime || run.outOfTime;
    verdict.end.takeFailed = end.takeFailed || (take.ran && !take.trial.passed);
    verdict.take = take;
    verdict.outcome = capacityOutcome(verdict.answer, verdict.end);
    verdict.drift = searchDrift(run.trials, setup.caching == throughFileCache);
    verdict.trials = static_cast<uint32_t>(run.trials.size());
    return verdict;
}

bool capacitySucceeded(const CapacityVerdict& verdict)
{
    return capacityOutcomeSucceeds(verdict.outcome, verdict.answer);
}
