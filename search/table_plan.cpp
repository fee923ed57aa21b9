#include "search/table_plan.h"

#include <algorithm>
#include <cmath>

#include "engine/plan.h"

namespace {

// The prediction, a step past it, the prediction again, and one for a disk
// that moves or a prediction off by more than a step.
const uint32_t trialsPerCell = 4;
const uint64_t calibrationStepNs = 5000000000u;  // one size, writing and reading, and its files

uint64_t mostRecordedBytes(const TableSetup& setup, const SessionConfig& config)
{
    uint32_t most = 0;
    for (const SearchMode& mode : setup.settings.modes) most = std::max(most, cellLimit(setup, mode) * mode.record);
    return recordedBytesPerTrack(config) * most;
}

const double cellStep = 0.05;

// The formats' own request sizes, and one below and one above them, so
// that a straight line through them can be checked.
std::vector<uint32_t> calibrationSizesFor(std::vector<uint32_t> sizes)
{
    std::sort(sizes.begin(), sizes.end());
    uint32_t smallest = sizes.front(), largest = sizes.back();
    sizes.push_back(std::max<uint32_t>(32768, smallest / 2 / 4096 * 4096));
    sizes.push_back(largest * 2);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    if (sizes.size() < 3) sizes.push_back(sizes.back() * 2);
    return sizes;
}

}  // namespace

SessionConfig tableConfig(const TableSetup& setup, const SampleFormat& format)
{
    const SearchSettings& settings = setup.settings;
    SessionConfig config;
    sessionConfigFor(SessionChoice{format, settings.bufferSeconds, settings.requestSize, 1,
                                   settings.caching, settings.requestFrames},
                     0, 0, config);
    config.durationNs = setup.trialNs;
    return config;
}

SearchRules tableRules(const TableSetup& setup, const SampleFormat& format)
{
    SessionConfig config = tableConfig(setup, format);
    return capacitySearchRules(setup.maxTracks, setup.settings.repeat, setup.settings.headroomPercent / 100.0,
                               config.bufferBytes, config.requestSize);
}

uint32_t cellLimit(const TableSetup& setup, const SearchMode& mode)
{
    uint32_t perUnit = std::max<uint32_t>(1, mode.record + mode.play);
    uint32_t limit = setup.maxTracks / perUnit;
    return mode.play == 0 ? limit : std::min(limit, setup.maxPlayed / mode.play);
}

uint32_t mostPlayedOf(const TableSetup& setup)
{
    uint32_t most = 0;
    for (const SearchMode& mode : setup.settings.modes)
        most = std::max(most, cellLimit(setup, mode) * mode.play);
    return most;
}

TableModel tableModelOf(const TableCalibration& calibration)
{
    return TableModel{calibration.refined, calibration.queue, calibration.drainBytesPerSecond,
                      calibration.mixedScale};
}

CellShape cellShapeOf(const TableSetup& setup, const SampleFormat& format, const SearchMode& mode)
{
    SessionConfig config = tableConfig(setup, format);
    return CellShape{mode,
                     sampleFormatBytesPerSecond(format),
                     config.requestSize,
                     setup.settings.bufferSeconds,
                     static_cast<double>(bestHeadroomBytes(config)) / config.bufferBytes,
                     setup.settings.headroomPercent / 100.0,
                     tableRules(setup, format).targetBusy,
                     tableRules(setup, format).drainBusy,
                     setup.settings.caching == throughFileCache};
}

CellVerdict cellVerdict(const TableSetup& setup, const TableCell& cell)
{
    CellVerdict verdict{};
    verdict.answer = cellAnswer(cell.rules, cell.results);
    SearchEnd end = cell.end;
    verdict.outcome = cell.started ? searchOutcome(verdict.answer, end) : outcomeInconclusive;
    // Time ran out before the cell settled: what passed is not confirmed.
    if (end.outOfTime && verdict.outcome == outcomeAtLeast &&
        verdict.answer.tracks != verdict.answer.limit)
        verdict.outcome = outcomeInconclusive;
    verdict.drift = searchDrift(cell.results, setup.settings.caching == throughFileCache);
    return verdict;
}

uint64_t calibrationEstimateNs(const TableSetup& setup)
{
    return setup.calibrationSizes.size() * calibrationStepNs;
}

uint64_t tableTrialNs(const TableSetup& setup, const SampleFormat& format)
{
    uint64_t ns = setup.trialNs + trialSetupNs;
    if (setup.settings.caching == throughFileCache)
        ns += static_cast<uint64_t>(setup.trialNs * tableRules(setup, format).targetBusy);
    return ns;
}

uint64_t tablePlaybackWriteNs(const TableSetup& setup, const SampleFormat& format, uint32_t files,
                              double slowerRate)
{
    double rate = setup.writeBytesPerSecond > 0 ? setup.writeBytesPerSecond : nominalPlaybackWriteRate;
    if (slowerRate > 0) rate = std::min(rate, slowerRate);
    return static_cast<uint64_t>(playFileBytes(tableConfig(setup, format)) * files / rate * 1e9);
}

uint64_t tableEstimateNs(const TableSetup& setup)
{
    uint64_t ns = setup.measuredNs != 0 ? setup.measuredNs : calibrationEstimateNs(setup);
    for (const SampleFormat& format : setup.settings.formats) {
        ns += setup.settings.modes.size() * trialsPerCell * tableTrialNs(setup, format);
        ns += tablePlaybackWriteNs(setup, format, mostPlayedOf(setup));
    }
    return ns;
}

void fitTableInTime(TableSetup& setup)
{
    uint64_t cap = setup.settings.caching == throughFileCache ? tableTimeCapThroughCacheNs
                                                              : tableTimeCapNs;
    const uint32_t fewest = 16;
    uint32_t asked = setup.maxPlayed;
    // Nothing to gain where the trials alone outlast it (longer trials asked for).
    setup.maxPlayed = 0;
    bool trialsFit = tableEstimateNs(setup) <= cap;
    setup.maxPlayed = asked;
    if (!trialsFit) return;
    while (setup.maxPlayed > fewest && tableEstimateNs(setup) > cap)
        setup.maxPlayed = std::max(fewest, setup.maxPlayed * 7 / 8);
    if (setup.maxPlayed < asked) setup.playLimitReason = limitTime;
}

uint64_t tableDiskBytes(const TableSetup& setup)
{
    // One format's files at a time: its playback files and a trial's recordings.
    uint64_t most = 0;
    for (const SampleFormat& format : setup.settings.formats) {
        SessionConfig config = tableConfig(setup, format);
        most = std::max(most, playFileBytes(config) * mostPlayedOf(setup) +
                                  mostRecordedBytes(setup, config));
    }
    return std::max(most, setup.calibrationBytes) + freeSpaceReserve;
}

SettingsCheck tableSetupFor(const SearchSettings& settings, bool playedCold, const std::string& date,
                            TableSetup& setup)
{
    setup = TableSetup{};
    setup.settings = settings;
    if (setup.settings.repeat == 0) setup.settings.repeat = 2;
    setup.place.base = settings.base;
    setup.step = cellStep;
    setup.maxTracks = settings.maxTracks;
    setup.maxPlayed = settings.maxTracks;
    setup.limitReason = limitAsked;
    setup.playLimitReason = limitAsked;
    setup.playedCold = settings.caching == bypassFileCache || playedCold;
    setup.date = date;
    std::vector<uint32_t> sizes;
    SettingsCheck check;
    for (const SampleFormat& format : settings.formats) {
        SessionChoice trial{format, settings.bufferSeconds, settings.requestSize, 1, settings.caching,
                            settings.requestFrames};
        SessionConfig config;
        check = sessionConfigFor(trial, 0, 0, config);
        check.headroomPercent = settings.headroomPercent;
        // A buffer no longer than a request keeps no headroom at all.
        bool fits = check.problem == settingsReady;
        check.reachablePercent = fits ? 100.0 * bestHeadroomBytes(config) / config.bufferBytes : 0;
        if (!fits || check.reachablePercent < settings.headroomPercent) {
            check.problem = settingsHeadroomUnreachable;
            return check;
        }
        // Whole seconds, long enough for every format to fail.
        uint64_t shortest = (shortestTellingNs(config) + 999999999u) / 1000000000u * 1000000000u;
        setup.trialNs = std::max(setup.trialNs, shortest);
        sizes.push_back(config.requestSize);
    }
    if (settings.trialSeconds != 0) {
        uint64_t asked = static_cast<uint64_t>(std::llround(settings.trialSeconds * 1e9));
        if (asked < setup.trialNs) {
            check.problem = settingsTrialTooShort;
            check.seconds = settings.trialSeconds;
            check.shortestSeconds = setup.trialNs / 1e9;
            return check;
        }
        setup.trialNs = asked;
    }
    setup.calibrationSizes = calibrationSizesFor(sizes);
    return check;
}
