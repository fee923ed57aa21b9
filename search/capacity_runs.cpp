#include "search/capacity_runs.h"

#include <cmath>
#include <cstdio>

#include "engine/plan.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "search/search_folder.h"

void limitCapacitySearch(CapacitySetup& setup)
{
    uint32_t wanted = setup.limit + playTracksFor(setup.mode, setup.limit) + spareOpenFiles;
    uint32_t allowed = platformRaiseOpenFileLimit(wanted);
    if (allowed < wanted) {
        setup.limit = allowed > spareOpenFiles
                          ? maxRecordTracksFor(setup.mode, allowed - spareOpenFiles)
                          : 0;
        setup.limitReason = limitOpenFiles;
    }
    FreeSpace space = queryFreeSpace(numberedTrackFileName(recordBaseIn(setup.place), 1).c_str());
    setup.freeKnown = space.known;
    setup.freeBytes = space.bytes;
    if (!space.known) return;  // each trial checks for itself
    uint32_t fits = setup.limit;
    while (fits > 0 && searchDiskBytes(setup, fits) + freeSpaceReserve >= setup.freeBytes) --fits;
    if (fits < setup.limit) {
        setup.limit = fits;
        setup.limitReason = limitDiskSpace;
    }
}

namespace {

// The search's side of the trials: its bench, the trials so far.
struct SearchState {
    const CapacitySetup* setup;
    TrialBench* bench;
    CapacityRun* run;
};

void announceTrial(void* context, uint32_t number, uint32_t count)
{
    SearchState& search = *static_cast<SearchState*>(context);
    const TrialWatch& watch = *search.bench->watch;
    if (watch.trialStarting != nullptr)
        watch.trialStarting(watch.context, number, count, playTracksFor(search.setup->mode, count));
}

bool runCapacityTrial(void* context, uint32_t count, TrialResult& result)
{
    SearchState& search = *static_cast<SearchState*>(context);
    const CapacitySetup& setup = *search.setup;
    search.bench->preparationNs = 0;
    SearchTrial trial;
    bool summarised = false;
    bool goOn = runBenchTrial(*search.bench, count, playTracksFor(setup.mode, count),
                              setup.config.durationNs, trial, summarised);
    if (summarised) search.run->trials.push_back(trial);
    if (!goOn) return false;
    result = trialResult(trial.summary, trial.passed);
    // Writing playback files is the search's own work, not the trial's.
    result.preparationNs = search.bench->preparationNs;
    return true;
}

uint64_t searchClock(void*)
{
    return platformMonotonicNs();
}

}  // namespace

namespace {

// The search and the take in the setup's folder, then the clearing up.
void searchIn(CapacityRun& run, SearchFolderLock& held, const TrialWatch& watch)
{
    CapacitySetup& setup = run.setup;
    const uint64_t start = platformMonotonicNs();
    TrialBench bench = openTrialBench(setup.place, setup.config, setup.format, setup.settings.bufferSeconds,
                                      setup.settings.caching, setup.settings.headroomPercent / 100.0,
                                      capacityRules(setup).drainBusy, "", &watch);
    bench.preset = setup.settings.preset;
    SearchState search{&setup, &bench, &run};
    bench.failure = run.failure;  // the drain's measurement, when it failed
    if (setup.limit == 0 || bench.failure.any || platformInterruptRequested()) {
        run.search.stopped = true;
    } else if (setup.settings.caching == throughFileCache &&
               !(setup.place.storageKnown && setup.place.storage.writtenBytesReadable)) {
        // No trial through the file cache could tell whether the disk kept pace.
        bench.failure.undecidable = true;
        run.search.stopped = true;
    } else {
        CapacityWiring wiring{&search, runCapacityTrial, searchClock, announceTrial};
        run.search = runCapacitySearch(capacityRules(setup), searchEstimateNs(setup),
                                       nominalTrialNs(setup), wiring);
    }
    // The take, at the answer the search found.
    SearchAnswer answer = searchAnswer(capacityRules(setup), run.search.trials);
    if (setup.takeNs != 0 && !run.search.stopped && answer.tracks != 0) {
        uint32_t plays = playTracksFor(setup.mode, answer.tracks);
        if (watch.trialStarting != nullptr)
            watch.trialStarting(watch.context, 0, answer.tracks, plays);
        runBenchTrial(bench, answer.tracks, plays, setup.takeNs, run.take, run.takeRan);
    }
    run.failure = bench.failure;
    run.interrupted = platformInterruptRequested();
    // Every file the search made, then its lock and its folder.
    clearBenchPlayback(bench);
    run.folderLeft = !closeSearchPlace(setup.place, held);
    run.freeBytesAfter = queryFreeBytes(setup.place.base.c_str());
    run.elapsedNs = platformMonotonicNs() - start;
}

}  // namespace

CapacityRun runCapacity(const SearchSettings& settings, const CapacityWatch& watch)
{
    CapacityRun run;
    run.check = capacitySetupFor(settings, platformCanDropCachedPages(), run.setup);
    if (run.check.problem != settingsReady) return run;
    SearchFolderLock held;
    run.folder = openSearchPlace(run.setup.place, settings.removeLeftovers, held);
    run.folderWhy = held.why;
    if (run.folder != folderReady) return run;
    limitCapacitySearch(run.setup);
    CapacitySetup& setup = run.setup;
    bool drainKnowable = setup.place.storageKnown && setup.place.storage.writtenBytesReadable;
    if (setup.settings.caching == throughFileCache && drainKnowable && setup.limit > 0) {
        // Memory hides the busy share of a trial through the file cache: the
        // device's drain, measured first, aims the first trial instead.
        const uint64_t probeBytes = 256u << 20;
        uint64_t bytes = !setup.freeKnown ? probeBytes / 2 : std::min(probeBytes, setup.freeBytes / 8);
        measureDrain(setup.place, bytes, setup.drainBytesPerSecond, run.failure);
    }
    if (watch.planned != nullptr) watch.planned(watch.context, run.setup);
    searchIn(run, held, watch.trials);
    SearchEnd end{};
    end.interrupted = run.interrupted;
    end.error = run.failure.any;
    end.undecidable = run.failure.undecidable;
    run.verdict = capacityVerdict(run.setup, run.search, end,
                                  CapacityTake{run.takeRan, run.take, run.freeBytesAfter});
    return run;
}
