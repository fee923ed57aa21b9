#include "search/capacity_plan.h"

#include <algorithm>
#include <cmath>

#include "engine/plan.h"

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

uint64_t trialDiskBytes(const SessionConfig& config, const SearchMode& mode, uint32_t recordTracks)
{
    return recordedBytesPerTrack(config) * recordTracks +
           playFileBytes(config) * playTracksFor(mode, recordTracks);
}

SearchRules capacityRules(const CapacitySetup& setup)
{
    SearchRules rules = capacitySearchRules(setup.limit, setup.settings.repeat,
                                            setup.settings.headroomPercent / 100.0,
                                            setup.config.bufferBytes, setup.config.requestSize);
    rules.drainBytesPerSecond = setup.drainBytesPerSecond;
    rules.recordBytesPerSecond = sampleFormatBytesPerSecond(setup.format);
    return rules;
}


uint64_t searchDiskBytes(const CapacitySetup& setup, uint32_t recordTracks)
{
    SessionConfig take = setup.config;
    take.durationNs = std::max(take.durationNs, setup.takeNs);
    return recordedBytesPerTrack(take) * recordTracks +
           playFileBytes(setup.config) * playTracksFor(setup.mode, recordTracks);
}

// A trial's (or the take's) length and its setup; through the file cache
// also the flush of its recording, which at the boundary drains at the
// rate the headroom rule allows, so for at most that share of its length.
static uint64_t runNs(const CapacitySetup& setup, uint64_t lengthNs)
{
    uint64_t ns = lengthNs + trialSetupNs;
    if (setup.settings.caching == throughFileCache)
        ns += static_cast<uint64_t>(lengthNs * capacityRules(setup).targetBusy);
    return ns;
}

uint64_t nominalTrialNs(const CapacitySetup& setup)
{
    return runNs(setup, setup.config.durationNs);
}

uint64_t playbackWriteNs(const CapacitySetup& setup)
{
    uint64_t bytes = playFileBytes(setup.config) * playTracksFor(setup.mode, setup.limit);
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
    verdict.outcome = searchOutcome(verdict.answer, verdict.end);
    verdict.drift = searchDrift(run.trials, setup.settings.caching == throughFileCache);
    verdict.trials = static_cast<uint32_t>(run.trials.size());
    return verdict;
}


SettingsCheck capacitySetupFor(const SearchSettings& settings, bool playedCold, CapacitySetup& setup)
{
    setup = CapacitySetup{};
    setup.settings = settings;
    if (setup.settings.repeat == 0) setup.settings.repeat = 3;
    setup.format = settings.formats.front();
    setup.mode = settings.modes.front();
    setup.place.base = settings.base;
    setup.playedCold = settings.caching == bypassFileCache || playedCold;
    setup.takeNs = static_cast<uint64_t>(std::llround(settings.takeMinutes * 60e9));
    setup.limit = maxRecordTracksFor(setup.mode, settings.maxTracks);
    setup.limitReason = limitAsked;
    SessionChoice trial{setup.format, settings.bufferSeconds, settings.requestSize, 0,
                        settings.caching, settings.requestFrames};
    SettingsCheck check = sessionConfigFor(trial, 0, 0, setup.config);
    if (check.problem != settingsReady) return check;
    const SessionConfig& config = setup.config;
    check.seconds = settings.trialSeconds;
    check.headroomPercent = settings.headroomPercent;
    if (settings.trialSeconds != 0) {
        // A trial too short to fail would pass whatever the disk does.
        check.shortestSeconds = std::ceil(shortestTellingNs(config) / 1e8) / 10;
        if (settings.trialSeconds < check.shortestSeconds) {
            check.problem = settingsTrialTooShort;
            return check;
        }
        setup.config.durationNs = static_cast<uint64_t>(std::llround(settings.trialSeconds * 1e9));
    }
    // Headroom can never exceed what is left of the buffer beside one request.
    check.reachablePercent = 100.0 * bestHeadroomBytes(config) / config.bufferBytes;
    if (check.reachablePercent < settings.headroomPercent) check.problem = settingsHeadroomUnreachable;
    return check;
}
