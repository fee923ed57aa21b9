#include "search/table_runs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/number_text.h"
#include "engine/plan.h"
#include "engine/write_stamp.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "search/search_folder.h"

namespace {

const uint32_t calibrationFiles = 16;
const uint64_t calibrationMinNs = 1500000000u;      // each direction, each size
const uint64_t calibrationMaxBytes = 512u << 20;    // at most, each size, where there is room
const uint32_t calibrationMinRequests = 64;
const double cellStep = 0.05;

// "-44k16m": tells one format's playback files from another's.
std::string formatTag(const SampleFormat& format)
{
    char tag[32];
    std::snprintf(tag, sizeof tag, "-%uk%u%s", static_cast<unsigned>(format.rate / 1000),
                  static_cast<unsigned>(format.bits), format.channels == 1 ? "m" : "s");
    return tag;
}

}  // namespace

// The formats' own request sizes, and one below and one above them, so
// that a straight line through them can be checked.
static std::vector<uint32_t> calibrationSizesFor(std::vector<uint32_t> sizes)
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

std::string tableSetupFor(const TableChoice& choice, TableSetup& setup)
{
    setup.place.base = choice.base;
    setup.place.removeLeftovers = choice.removeLeftovers;
    setup.place.lock = invalidTrackHandle;
    setup.caching = choice.caching;
    setup.bufferSeconds = choice.bufferSeconds;
    setup.headroomPercent = choice.headroomPercent;
    setup.requestSize = choice.requestKBytes << 10;
    setup.repeat = choice.repeat;
    setup.step = cellStep;
    setup.formats = choice.formats;
    setup.modes = choice.modes;
    setup.maxTracks = choice.maxTracks;
    setup.limitReason = limitAsked;
    setup.playedCold = choice.caching == bypassFileCache || platformCanDropCachedPages();
    setup.date = choice.date;
    setup.trialNs = 0;
    std::vector<uint32_t> sizes;
    char text[400];
    for (const SampleFormat& format : setup.formats) {
        SessionConfig config = tableConfig(setup, format);
        uint32_t bytesPerSecond = sampleFormatBytesPerSecond(format);
        if (config.bufferBytes < config.requestSize + config.frameBytes ||
            100.0 * bestHeadroomBytes(config) / config.bufferBytes < setup.headroomPercent) {
            std::snprintf(text, sizeof text,
                          "at %s a request holds %.2f s, so a %s buffer keeps at most %.0f %% "
                          "headroom, less than the %g %% asked: choose a longer --buffer, a "
                          "smaller --request or a lower --headroom",
                          sampleFormatLabel(format).c_str(),
                          static_cast<double>(config.requestSize) / bytesPerSecond,
                          bufferText(setup.bufferSeconds).c_str(),
                          config.bufferBytes > config.requestSize
                              ? 100.0 * bestHeadroomBytes(config) / config.bufferBytes
                              : 0.0,
                          setup.headroomPercent);
            return text;
        }
        // Whole seconds, long enough for every format to fail.
        uint64_t shortest = (shortestTellingNs(config) + 999999999u) / 1000000000u * 1000000000u;
        setup.trialNs = std::max(setup.trialNs, shortest);
        sizes.push_back(config.requestSize);
    }
    if (choice.seconds != 0) {
        uint64_t asked = static_cast<uint64_t>(std::llround(choice.seconds * 1e9));
        if (asked < setup.trialNs) {
            std::snprintf(text, sizeof text,
                          "a trial of %s cannot show a dropout at every format: it must last at "
                          "least %s (three buffer lengths and ten requests' audio); choose "
                          "--seconds %g or more",
                          secondsText(choice.seconds).c_str(),
                          secondsText(setup.trialNs / 1e9).c_str(), setup.trialNs / 1e9);
            return text;
        }
        setup.trialNs = asked;
    }
    setup.calibrationSizes = calibrationSizesFor(sizes);
    return "";
}

void limitTable(TableSetup& setup)
{
    uint32_t wanted = setup.maxTracks + spareOpenFiles;
    uint32_t allowed = platformRaiseOpenFileLimit(wanted);
    if (allowed < wanted) {
        setup.maxTracks = allowed > spareOpenFiles ? allowed - spareOpenFiles : 0;
        setup.limitReason = limitOpenFiles;
    }
    setup.freeBytes = queryFreeBytes(numberedTrackFileName(recordBaseIn(setup.place), 1).c_str());
    // The measurement takes a quarter of the free space at most.
    setup.calibrationBytes = calibrationMaxBytes;
    if (setup.freeBytes != 0) setup.calibrationBytes = std::min(calibrationMaxBytes, setup.freeBytes / 4);
    if (setup.freeBytes == 0) return;  // unknown: each trial checks for itself
    uint32_t asked = setup.maxTracks;
    while (setup.maxTracks > 0 && tableDiskBytes(setup) >= setup.freeBytes)
        setup.maxTracks = setup.maxTracks * 15 / 16;
    if (setup.maxTracks < asked) setup.limitReason = limitDiskSpace;
}

namespace {

// Writes the files round-robin with requests of size until enough time (or
// bytes) has passed, then reads them back the same way: the time inside a
// request of each, the disk busy all along. Bypasses the file cache: the
// disk's own cost. False on a failure or an interrupt.
bool measureRequestCost(const std::string& base, uint32_t size, uint64_t maxBytes,
                        CostSample& write, CostSample& read, std::string& failure)
{
    void* buffer = platformAllocTransferBuffer(size);
    if (buffer == nullptr) {
        failure = "no memory for the transfer buffer";
        return false;
    }
    std::vector<TrackHandle> files(calibrationFiles, emptyTrackSlot);
    bool ok = true;
    for (uint32_t k = 0; k < calibrationFiles && ok; ++k) {
        std::string name = numberedTrackFileName(base, k + 1);
        files[k] = platformCreateTrackFile(name.c_str(), bypassFileCache);
        if (files[k] == invalidTrackHandle) {
            files[k] = emptyTrackSlot;
            failure = name + ": " + platformLastErrorText();
            ok = false;
        }
    }
    uint64_t stampBase = static_cast<uint64_t>(++writePassNumber) << 48;
    uint64_t requests = 0;
    uint64_t started = platformMonotonicNs(), elapsed = 0;
    while (ok && ((elapsed < calibrationMinNs && (requests + calibrationFiles) * size <= maxBytes) ||
                  requests < calibrationMinRequests || requests % calibrationFiles != 0)) {
        if (platformInterruptRequested()) ok = false;
        uint32_t k = static_cast<uint32_t>(requests % calibrationFiles);
        stampBlocks(buffer, size, stampBase + requests * size);
        if (ok && platformWriteTrack(files[k], buffer, size) != size) {
            failure = numberedTrackFileName(base, k + 1) + ": the write failed (is the disk full?)";
            ok = false;
        }
        ++requests;
        elapsed = platformMonotonicNs() - started;
    }
    write = CostSample{size, true, ok ? static_cast<double>(elapsed) / requests : 0};
    // Opened again to read: a created file is open for writing only.
    for (uint32_t k = 0; k < calibrationFiles; ++k) {
        platformCloseTrack(files[k]);
        files[k] = emptyTrackSlot;
        if (!ok) continue;
        std::string name = numberedTrackFileName(base, k + 1);
        files[k] = platformOpenTrackFile(name.c_str(), bypassFileCache);
        if (files[k] == invalidTrackHandle) {
            files[k] = emptyTrackSlot;
            failure = name + ": " + platformLastErrorText();
            ok = false;
        }
    }
    uint64_t reads = 0;
    started = platformMonotonicNs();
    for (; ok && reads < requests; ++reads) {
        if (platformInterruptRequested()) ok = false;
        uint32_t k = static_cast<uint32_t>(reads % calibrationFiles);
        if (ok && platformReadTrack(files[k], buffer, size) != size) {
            failure = numberedTrackFileName(base, k + 1) + ": the read failed";
            ok = false;
        }
    }
    elapsed = platformMonotonicNs() - started;
    read = CostSample{size, false, ok ? static_cast<double>(elapsed) / reads : 0};
    for (TrackHandle file : files) platformCloseTrack(file);
    removeTrackFiles(base, 1, calibrationFiles);
    platformFreeTransferBuffer(buffer);
    return ok;
}

struct TableState {
    TableSetup* setup;
    const TableWatch* watch;
    TableRun* run;
    uint64_t startNs;
    uint64_t deadlineNs;
    uint64_t longestNs;  // the longest trial so far, any cell's, without playback writing
};

void tell(const TableState& state, uint32_t cell, const TableCell* current, uint32_t trial,
          uint32_t requestSize)
{
    if (state.watch->progress == nullptr) return;
    uint64_t now = platformMonotonicNs();
    TableProgress progress{cell,
                           static_cast<uint32_t>(state.setup->formats.size() * state.setup->modes.size()),
                           current,
                           trial,
                           requestSize,
                           state.deadlineNs > now ? state.deadlineNs - now : 0};
    state.watch->progress(state.watch->context, progress);
}

bool calibrate(TableState& state)
{
    TableCalibration& calibration = state.run->calibration;
    uint64_t started = platformMonotonicNs();
    std::string base = recordBaseIn(state.setup->place);
    for (uint32_t size : state.setup->calibrationSizes) {
        tell(state, 0, nullptr, 0, size);
        CostSample write{}, read{};
        if (!measureRequestCost(base, size, state.setup->calibrationBytes, write, read,
                                state.run->failure))
            return false;
        calibration.samples.push_back(write);
        calibration.samples.push_back(read);
    }
    calibration.model = fitRequestCost(calibration.samples);
    calibration.refined = calibration.model;
    calibration.ns = platformMonotonicNs() - started;
    calibration.ran = true;
    return true;
}

// The time the cells after `index` are owed: three trials each, as long as
// the longest so far, so that a slow early cell cannot starve the rest.
uint64_t owedAfter(const TableState& state, size_t index)
{
    const TableSetup& setup = *state.setup;
    uint64_t owed = 0;
    size_t modes = setup.modes.size();
    for (size_t later = index + 1; later < setup.formats.size() * modes; ++later)
        owed += 3 * std::max(state.longestNs, tableTrialNs(setup, setup.formats[later / modes]));
    return owed;
}

// What a trial of one direction measured: its time inside a request.
void keepTrialCost(TableCalibration& calibration, const CellMode& mode, const CapacityTrial& trial)
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
    cell.started = true;
    bool goOn = true;
    for (uint32_t number = 1;; ++number) {
        uint64_t now = platformMonotonicNs();
        uint64_t owed = owedAfter(state, index);
        uint64_t budget = state.deadlineNs > now + owed ? state.deadlineNs - now - owed : 0;
        uint64_t perTrial = std::max(state.longestNs, tableTrialNs(setup, cell.format));
        uint32_t left = static_cast<uint32_t>(budget / perTrial);
        uint32_t units = nextCellCount(cell.rules, cell.results, left);
        if (units == 0) {
            cell.end.outOfTime = left == 0 && nextCellCount(cell.rules, cell.results, 1) != 0;
            break;
        }
        tell(state, static_cast<uint32_t>(index + 1), &cell, number, 0);
        CapacityTrial trial;
        bool summarised = false;
        uint64_t trialStart = platformMonotonicNs();
        bench.preparationNs = 0;
        goOn = runBenchTrial(bench, units * cell.mode.record, units * cell.mode.play, setup.trialNs,
                             trial, summarised);
        uint64_t took = platformMonotonicNs() - trialStart;
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
    cell.elapsedNs = platformMonotonicNs() - cellStart;
    return goOn;
}

}  // namespace

TableRun runTable(TableSetup& setup, const TableWatch& watch)
{
    TableRun run{};
    uint64_t start = platformMonotonicNs();
    TableState state{&setup, &watch, &run, start, start + tableEstimateNs(setup), 0};
    for (const SampleFormat& format : setup.formats)
        for (const CellMode& mode : setup.modes) {
            TableCell cell{};
            cell.format = format;
            cell.mode = mode;
            run.cells.push_back(cell);
        }
    bool goOn = setup.maxTracks > 0;
    if (!goOn) run.failure = "not even one track fits";
    if (goOn && setup.caching == throughFileCache &&
        !(setup.place.storageKnown && setup.place.storage.writtenBytesReadable)) {
        run.failure = "through the file cache a trial counts only once the disk has drained it, "
                      "and this storage has no device counter to tell that by";
        goOn = false;
    }
    if (goOn) goOn = calibrate(state);
    size_t index = 0;
    for (size_t f = 0; f < setup.formats.size() && goOn; ++f) {
        const SampleFormat& format = setup.formats[f];
        SessionConfig config = tableConfig(setup, format);
        SearchRules rules = tableRules(setup, format);
        TrialBench bench =
            openTrialBench(setup.place, config, format, setup.bufferSeconds, setup.caching,
                           setup.headroomPercent / 100.0, rules.targetBusy, formatTag(format),
                           &watch.trials);
        for (size_t m = 0; m < setup.modes.size() && goOn; ++m, ++index) {
            TableCell& cell = run.cells[index];
            uint32_t limit = cellLimit(setup, cell.mode);
            uint32_t predicted = predictCellCount(run.calibration.refined, cell.mode,
                                                  sampleFormatBytesPerSecond(format),
                                                  config.requestSize, rules.targetBusy, limit);
            cell.rules = CellRules{limit,         setup.repeat, setup.headroomPercent / 100.0,
                                   rules.targetBusy, setup.step, predicted};
            cell.predicted = predicted;
            if (predicted == 0) cell.rules.prediction = std::min<uint32_t>(16, limit);
            goOn = runCell(state, bench, index);
            if (!goOn && run.failure.empty() && bench.failure.any)
                run.failure = bench.failure.file + ": " +
                              (bench.failure.reason.empty() ? "a request failed" : bench.failure.reason);
        }
        clearBenchPlayback(bench);
    }
    run.interrupted = platformInterruptRequested();
    run.folderLeft = !closeSearchFolder(setup.place);
    run.elapsedNs = platformMonotonicNs() - start;
    return run;
}
