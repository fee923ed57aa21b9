#include "search/table_runs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/plan.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "search/search_folder.h"

namespace {

const uint32_t calibrationFiles = 16;
const uint64_t calibrationNs = 1500000000u;       // each direction, each size
const uint64_t calibrationMaxBytes = 512u << 20;  // at most, each size, where there is room

// "-44k16m": tells one format's playback files from another's.
std::string formatTag(const SampleFormat& format)
{
    char tag[32];
    std::snprintf(tag, sizeof tag, "-%uk%u%s", static_cast<unsigned>(format.rate / 1000),
                  static_cast<unsigned>(format.bits), format.channels == 1 ? "m" : "s");
    return tag;
}

}  // namespace

void limitTable(TableSetup& setup)
{
    uint32_t wanted = setup.maxTracks + spareOpenFiles;
    uint32_t allowed = platformRaiseOpenFileLimit(wanted);
    if (allowed < wanted) {
        setup.maxTracks = allowed > spareOpenFiles ? allowed - spareOpenFiles : 0;
        setup.maxPlayed = std::min(setup.maxPlayed, setup.maxTracks);
        setup.limitReason = limitOpenFiles;
    }
    FreeSpace space = queryFreeSpace(numberedTrackFileName(recordBaseIn(setup.place), 1).c_str());
    setup.freeKnown = space.known;
    setup.freeBytes = space.bytes;
    // The measurement takes a quarter of the free space at most.
    setup.calibrationBytes = calibrationMaxBytes;
    if (!space.known) return;  // each trial checks for itself
    setup.calibrationBytes = std::min(calibrationMaxBytes, setup.freeBytes / 4);
    uint32_t asked = setup.maxTracks;
    while (setup.maxTracks > 0 && tableDiskBytes(setup) >= setup.freeBytes) {
        setup.maxTracks = setup.maxTracks * 15 / 16;
        setup.maxPlayed = std::min(setup.maxPlayed, setup.maxTracks);
    }
    if (setup.maxTracks < asked) setup.limitReason = limitDiskSpace;
}

namespace {

struct TableState {
    TableSetup* setup;
    const TableWatch* watch;
    TableRun* run;
    uint64_t startNs;
    uint64_t deadlineNs;
    uint64_t longestNs;  // the longest trial so far, any cell's, without playback writing
    // The slowest the trials wrote playback files (bytes/s; 0: none yet):
    // many files go slower than the few the first measurement wrote. The
    // files still to come are reckoned at it; the stated estimate stays.
    double playbackRate;
};

void tell(const TableState& state, uint32_t cell, const TableCell* current, uint32_t trial,
          uint32_t requestSize)
{
    if (state.watch->progress == nullptr) return;
    uint64_t now = platformMonotonicNs();
    TableProgress progress{cell,
                           static_cast<uint32_t>(state.setup->settings.formats.size() * state.setup->settings.modes.size()),
                           current,
                           trial,
                           requestSize,
                           state.deadlineNs > now ? state.deadlineNs - now : 0};
    state.watch->progress(state.watch->context, progress);
}

// The time inside one request of `size`, writing and then reading back:
// sessions of calibrationFiles tracks whose audio comes (or goes) as fast
// as calibrationBytes over calibrationNs allows, so that on most disks the
// requests follow each other round-robin as in a burst; the file cache
// bypassed. False when a session failed or was interrupted.
bool measureRequestCost(TableState& state, uint32_t size, CostSample& write, CostSample& read)
{
    const TableSetup& setup = *state.setup;
    std::string base = recordBaseIn(setup.place);
    SessionConfig config{};
    config.frameBytes = 4;
    config.requestSize = size;
    config.bufferBytes = 2 * size;
    config.durationNs = calibrationNs;
    double perTrack = static_cast<double>(setup.calibrationBytes) / calibrationFiles / (calibrationNs / 1e9);
    config.frameRate = static_cast<uint32_t>(std::max(1.0, std::min(4e9, perTrack / config.frameBytes)));
    static SessionDigest digest;
    CostSample* samples[2] = {&write, &read};
    bool ok = true;
    for (int direction = 0; direction < 2 && ok; ++direction) {
        SessionConfig session = config;
        session.recordTracks = direction == 0 ? calibrationFiles : 0;
        session.playTracks = direction == 0 ? 0 : calibrationFiles;
        SessionRun run;
        SetupResult started = runWholeSession(run, digest, session,
                                              SessionFiles{base, base, 1, bypassFileCache},
                                              SessionWatch{nullptr, nullptr}, FlushWhen{false, 0});
        ok = !noteSessionFailure(state.run->failure, started, run, session) &&
             !platformInterruptRequested() && run.model.requestCount > 0;
        *samples[direction] = CostSample{size, direction == 0,
                                         ok ? static_cast<double>(run.model.busyNs) / run.model.requestCount
                                            : 0};
    }
    removeTrackFiles(base, 1, calibrationFiles);
    return ok;
}

bool calibrate(TableState& state)
{
    TableCalibration& calibration = state.run->calibration;
    uint64_t started = platformMonotonicNs();
    for (uint32_t size : state.setup->calibrationSizes) {
        tell(state, 0, nullptr, 0, size);
        CostSample write{}, read{};
        if (!measureRequestCost(state, size, write, read)) return false;
        calibration.samples.push_back(write);
        calibration.samples.push_back(read);
    }
    calibration.model = fitRequestCost(calibration.samples);
    calibration.refined = calibration.model;
    calibration.ns = platformMonotonicNs() - started;
    calibration.ran = true;
    return true;
}

// The fewest trials a cell settles in: its prediction, a step past it that
// fails, its prediction again.
const uint32_t minimumCellTrials = 3;

// Trials a cell is expected to need: four before any cell settled (as the
// estimate reckons), three when the cells before it were predicted within a
// step (the prediction, a step past it, the prediction again), more the
// further off they were.
uint32_t trialsExpected(const TableState& state)
{
    double error = 0;
    uint32_t answered = 0;
    for (const TableCell& cell : state.run->cells) {
        if (!cell.settled || cell.predicted == 0) continue;
        SearchAnswer answer = cellAnswer(cell.rules, cell.results);
        if (answer.tracks == 0) continue;
        error += std::fabs(static_cast<double>(cell.predicted) / answer.tracks - 1);
        ++answered;
    }
    if (answered == 0) return 4;
    error /= answered;
    double step = state.setup->step;
    return error <= step ? minimumCellTrials : error <= 4 * step ? 4 : 5;
}

// The playback files a format not begun yet is expected to need: twice
// what its cells are predicted to play, no more than a trial may hold.
uint32_t playFilesExpected(const TableState& state, const SampleFormat& format)
{
    const TableSetup& setup = *state.setup;
    TableModel model = tableModelOf(state.run->calibration);
    uint32_t files = 0;
    for (const SearchMode& mode : setup.settings.modes) {
        if (mode.play == 0) continue;
        uint32_t units = predictCell(model, cellShapeOf(setup, format, mode), cellLimit(setup, mode));
        uint64_t played = units == 0 ? mostPlayedOf(setup) : 2ull * units * mode.play;
        files = std::max<uint32_t>(files, static_cast<uint32_t>(std::min<uint64_t>(played, mostPlayedOf(setup))));
    }
    return files;
}

// The time the cells after `index` are owed, so that a slow early cell
// cannot starve the rest: `trials` each, as long as the longest so far, and
// the playback files of the formats not begun yet.
uint64_t owedAfter(const TableState& state, size_t index, uint32_t trials)
{
    const TableSetup& setup = *state.setup;
    uint64_t owed = 0;
    size_t modes = setup.settings.modes.size();
    for (size_t later = index + 1; later < setup.settings.formats.size() * modes; ++later) {
        const SampleFormat& format = setup.settings.formats[later / modes];
        owed += trials * std::max(state.longestNs, tableTrialNs(setup, format));
        if (later % modes == 0)
            owed += tablePlaybackWriteNs(setup, format, playFilesExpected(state, format), state.playbackRate);
    }
    return owed;
}

// What a trial of one direction measured: its time inside a request.
void keepTrialCost(TableCalibration& calibration, const SearchMode& mode, const SearchTrial& trial)
{
    const SessionSummary& summary = trial.summary;
    if ((mode.record > 0 && mode.play > 0) || summary.requestCount == 0 || summary.aborted) return;
    calibration.trialSamples.push_back({summary.config.requestSize, mode.record > 0,
                                        static_cast<double>(summary.busyNs) / summary.requestCount});
    calibration.refined = refineRequestCost(calibration.samples, calibration.trialSamples);
}

// The trials of one cell until it settles, its time runs out, or the table
// must stop; false for the last.
bool runCell(TableState& state, TrialBench& bench, size_t index)
{
    TableSetup& setup = *state.setup;
    TableCell& cell = state.run->cells[index];
    uint64_t cellStart = platformMonotonicNs();
    uint64_t fairEnd = cellFairEndNs(cellStart, state.deadlineNs, state.run->cells.size() - index);
    cell.started = true;
    bool goOn = true;
    for (uint32_t number = 1;; ++number) {
        uint64_t now = platformMonotonicNs();
        // A cell that only lacks its answer's repeats may take them from the
        // later cells' time down to the fewest a cell needs (the prediction,
        // a step past it, the prediction again): an answer one trial away
        // is worth more than a later cell's spare trials.
        uint32_t each = trialsExpected(state);
        if (cellConfirming(cell.rules, cell.results)) each = std::min<uint32_t>(each, minimumCellTrials);
        uint64_t owed = owedAfter(state, index, each);
        uint64_t budget = cellBudgetNs(now, state.deadlineNs, owed, fairEnd);
        uint64_t perTrial = std::max(state.longestNs, tableTrialNs(setup, cell.format));
        uint32_t left = static_cast<uint32_t>(budget / perTrial);
        uint32_t units = nextCellCount(cell.rules, cell.results, left);
        // Its playback files, where it needs more than are written.
        uint32_t played = units * cell.mode.play;
        uint64_t writing = played > bench.playFilesMade
                               ? tablePlaybackWriteNs(setup, cell.format, played - bench.playFilesMade,
                                                      state.playbackRate)
                               : 0;
        // And its pre-roll: every played track's buffer read before the clock starts.
        const CostLine& reads = state.run->calibration.refined.read;
        uint64_t preroll = played == 0 || !reads.valid
                               ? 0
                               : static_cast<uint64_t>(static_cast<double>(played) *
                                                       prerollRequests(bench.config) *
                                                       fittedRequestNs(reads, bench.config.requestSize));
        if (units != 0 && perTrial + writing + preroll > budget) {
            left = 0;
            units = 0;
        }
        if (units == 0) {
            cell.end.outOfTime = left == 0 && nextCellCount(cell.rules, cell.results, 1) != 0;
            break;
        }
        tell(state, static_cast<uint32_t>(index + 1), &cell, number, 0);
        SearchTrial trial;
        bool summarised = false;
        uint64_t trialStart = platformMonotonicNs();
        bench.preparationNs = 0;
        uint32_t madeBefore = bench.playFilesMade;
        goOn = runBenchTrial(bench, units * cell.mode.record, units * cell.mode.play, setup.trialNs,
                             trial, summarised);
        uint64_t took = platformMonotonicNs() - trialStart;
        if (bench.playFilesMade > madeBefore && bench.preparationNs > 0) {
            double rate = static_cast<double>(playFileBytes(bench.config)) *
                          (bench.playFilesMade - madeBefore) / (bench.preparationNs / 1e9);
            if (state.playbackRate <= 0 || rate < state.playbackRate) state.playbackRate = rate;
        }
        state.longestNs = std::max(state.longestNs, took - std::min(took, bench.preparationNs));
        if (summarised) {
            keepTrialCost(state.run->calibration, cell.mode, trial);
            cell.trials.push_back(trial);
            TrialResult result = trialResult(trial.summary, trial.passed);
            result.count = units;
            cell.results.push_back(result);
        }
        if (!goOn) break;
    }
    cell.end.interrupted = platformInterruptRequested();
    cell.end.error = bench.failure.any;
    cell.end.undecidable = bench.failure.undecidable;
    cell.settled = goOn && !cell.end.outOfTime;
    cell.elapsedNs = platformMonotonicNs() - cellStart;
    // A cell whose time ran out still shows what its trials measured: the
    // cells after it start from that, not from the first measurement alone.
    if (!cell.results.empty() && !cell.end.interrupted && !cell.end.error) {
        TableModel model = tableModelOf(state.run->calibration);
        learnFromCell(model, cellShapeOf(setup, cell.format, cell.mode), cell.results);
        state.run->calibration.queue = model.queue;
        state.run->calibration.mixedScale = model.mixedScale;
    }
    return goOn;
}

}  // namespace

namespace {

// How fast the disk takes the playback files: bypassing the cache, its
// rate writing the largest requests measured; through it, the drain.
double playbackWriteRate(const TableCalibration& calibration, TrackCaching caching)
{
    if (caching == throughFileCache && calibration.drainBytesPerSecond > 0)
        return calibration.drainBytesPerSecond;
    const CostSample* largest = nullptr;
    for (const CostSample& sample : calibration.samples)
        if (sample.write && sample.requestNs > 0 &&
            (largest == nullptr || sample.requestSize > largest->requestSize))
            largest = &sample;
    return largest == nullptr ? 0 : largest->requestSize * 1e9 / largest->requestNs;
}

// The disk measured (and through the cache its drain), the estimate made
// from what it showed and the ceiling fitted to the time; false when the
// table cannot go on.
bool measureDisk(TableState& state, const TableWatch& watch)
{
    TableSetup& setup = *state.setup;
    TableRun& run = *state.run;
    if (setup.maxTracks == 0) {
        run.stop = tableNoTrackFits;
        if (watch.planned != nullptr) watch.planned(watch.context, setup);
        return false;
    }
    if (setup.settings.caching == throughFileCache &&
        !(setup.place.storageKnown && setup.place.storage.writtenBytesReadable)) {
        run.stop = tableDrainUnmeasurable;
        return false;
    }
    if (!calibrate(state)) return false;
    if (setup.settings.caching == throughFileCache &&
        !measureDrain(setup.place, setup.calibrationBytes / 4, run.calibration.drainBytesPerSecond,
                      run.failure))
        return false;
    setup.measuredNs = platformMonotonicNs() - state.startNs;
    setup.writeBytesPerSecond = playbackWriteRate(run.calibration, setup.settings.caching);
    setup.drainBytesPerSecond = run.calibration.drainBytesPerSecond;
    fitTableInTime(setup);
    state.deadlineNs = state.startNs + tableEstimateNs(setup);
    if (watch.planned != nullptr) watch.planned(watch.context, setup);
    return true;
}

// The disk measured, then the cells format by format, in the setup's folder.
void tableIn(TableRun& run, const TableWatch& watch, uint64_t start)
{
    TableSetup& setup = run.setup;
    TableState state{&setup, &watch, &run, start, start + tableEstimateNs(setup), 0, 0};
    for (const SampleFormat& format : setup.settings.formats)
        for (const SearchMode& mode : setup.settings.modes) {
            TableCell cell{};
            cell.format = format;
            cell.mode = mode;
            run.cells.push_back(cell);
        }
    bool goOn = measureDisk(state, watch);
    size_t index = 0;
    for (size_t f = 0; f < setup.settings.formats.size() && goOn; ++f) {
        const SampleFormat& format = setup.settings.formats[f];
        SessionConfig config = tableConfig(setup, format);
        SearchRules rules = tableRules(setup, format);
        TrialBench bench = openTrialBench(setup.place, config, format, setup.settings.bufferSeconds,
                                          setup.settings.caching,
                                          setup.settings.headroomPercent / 100.0, rules.drainBusy,
                                          formatTag(format), &watch.trials);
        bench.preset = setup.settings.preset;
        for (size_t m = 0; m < setup.settings.modes.size() && goOn; ++m, ++index) {
            TableCell& cell = run.cells[index];
            uint32_t limit = cellLimit(setup, cell.mode);
            CellShape shape = cellShapeOf(setup, format, cell.mode);
            uint32_t predicted = predictCell(tableModelOf(run.calibration), shape, limit);
            cell.rules = CellRules{limit,
                                   setup.settings.repeat,
                                   shape.requiredShare,
                                   shape.targetBusy,
                                   setup.step,
                                   predicted == 0 ? std::min<uint32_t>(16, limit) : predicted,
                                   shape.bestShare,
                                   static_cast<double>(shape.bytesPerSecond) / shape.requestSize *
                                       (cell.mode.record + cell.mode.play),
                                   static_cast<double>(shape.bytesPerSecond) * cell.mode.record,
                                   shape.drainBusy,
                                   shape.throughCache && cell.mode.play > 0};
            cell.predicted = predicted;
            goOn = runCell(state, bench, index);
            if (!goOn && bench.failure.any) run.failure = bench.failure;
        }
        clearBenchPlayback(bench);
    }
    if (run.failure.any && run.stop == tableNotStopped) run.stop = tableTrialFailed;
    run.interrupted = platformInterruptRequested();
}

}  // namespace

TableRun runTable(const SearchSettings& settings, const std::string& date, const TableWatch& watch)
{
    TableRun run;
    run.check = tableSetupFor(settings, platformCanDropCachedPages(), date, run.setup);
    if (run.check.problem != settingsReady) return run;
    SearchFolderLock held;
    run.folder = openSearchPlace(run.setup.place, settings.removeLeftovers, held);
    run.folderWhy = held.why;
    if (run.folder != folderReady) return run;
    limitTable(run.setup);
    uint64_t start = platformMonotonicNs();
    tableIn(run, watch, start);
    run.folderLeft = !closeSearchPlace(run.setup.place, held);
    run.elapsedNs = platformMonotonicNs() - start;
    return run;
}
