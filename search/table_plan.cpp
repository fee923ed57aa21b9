#include "search/table_plan.h"

#include <algorithm>
#include <cmath>

#include "engine/plan.h"

namespace {

const uint32_t trialsPerCell = 3;  // the prediction, a step past it, the prediction again
const uint64_t calibrationStepNs = 5000000000u;  // one size, writing and reading, and its files

// The most tracks a format's cells play, and so its playback files.
uint32_t mostPlayed(const TableSetup& setup)
{
    uint32_t most = 0;
    for (const CellMode& mode : setup.modes) most = std::max(most, cellLimit(setup, mode) * mode.play);
    return most;
}

uint64_t mostRecordedBytes(const TableSetup& setup, const SessionConfig& config)
{
    uint32_t most = 0;
    for (const CellMode& mode : setup.modes) most = std::max(most, cellLimit(setup, mode) * mode.record);
    return recordedBytesPerTrack(config) * most;
}

}  // namespace

SessionConfig tableConfig(const TableSetup& setup, const SampleFormat& format)
{
    SessionConfig config{};
    config.frameRate = format.rate;
    config.frameBytes = format.bits / 8 * format.channels;
    config.requestSize =
        setup.requestSize != 0 ? setup.requestSize : recorderRequestBytes(config.frameBytes);
    config.bufferBytes = static_cast<uint32_t>(std::llround(setup.bufferSeconds * format.rate)) *
                         config.frameBytes;
    config.durationNs = setup.trialNs;
    return config;
}

SearchRules tableRules(const TableSetup& setup, const SampleFormat& format)
{
    SessionConfig config = tableConfig(setup, format);
    return capacitySearchRules(setup.maxTracks, setup.repeat, setup.headroomPercent / 100.0,
                               config.bufferBytes, config.requestSize);
}

uint32_t cellLimit(const TableSetup& setup, const CellMode& mode)
{
    uint32_t perUnit = std::max<uint32_t>(1, mode.record + mode.play);
    return setup.maxTracks / perUnit;
}

CellVerdict cellVerdict(const TableSetup& setup, const TableCell& cell)
{
    CellVerdict verdict{};
    verdict.answer = cellAnswer(cell.rules, cell.results);
    SearchEnd end = cell.end;
    verdict.outcome = cell.started ? capacityOutcome(verdict.answer, end) : outcomeInconclusive;
    // Time ran out before the cell settled: what passed is not confirmed.
    if (end.outOfTime && verdict.outcome == outcomeAtLeast &&
        verdict.answer.tracks != verdict.answer.limit)
        verdict.outcome = outcomeInconclusive;
    verdict.drift = searchDrift(cell.results, setup.caching == throughFileCache);
    return verdict;
}

uint64_t calibrationEstimateNs(const TableSetup& setup)
{
    return setup.calibrationSizes.size() * calibrationStepNs;
}

uint64_t tableTrialNs(const TableSetup& setup, const SampleFormat& format)
{
    uint64_t ns = setup.trialNs + trialSetupNs;
    if (setup.caching == throughFileCache)
        ns += static_cast<uint64_t>(setup.trialNs * tableRules(setup, format).targetBusy);
    return ns;
}

uint64_t tableEstimateNs(const TableSetup& setup)
{
    uint64_t ns = calibrationEstimateNs(setup);
    for (const SampleFormat& format : setup.formats) {
        ns += setup.modes.size() * trialsPerCell * tableTrialNs(setup, format);
        uint64_t bytes = playFileBytes(tableConfig(setup, format)) * mostPlayed(setup);
        ns += bytes / nominalPlaybackWriteRate * 1000000000u +
              bytes % nominalPlaybackWriteRate * 1000000000u / nominalPlaybackWriteRate;
    }
    return ns;
}

uint64_t tableDiskBytes(const TableSetup& setup)
{
    // One format's files at a time: its playback files and a trial's recordings.
    uint64_t most = 0;
    for (const SampleFormat& format : setup.formats) {
        SessionConfig config = tableConfig(setup, format);
        most = std::max(most, playFileBytes(config) * mostPlayed(setup) +
                                  mostRecordedBytes(setup, config));
    }
    return std::max(most, setup.calibrationBytes) + freeSpaceReserve;
}
