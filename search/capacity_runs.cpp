#include "search/capacity_runs.h"

#include <cmath>
#include <cstdio>

#include "analysis/number_text.h"
#include "engine/plan.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "search/search_folder.h"

std::string capacitySetupFor(const CapacityChoice& choice, CapacitySetup& setup)
{
    SessionChoice trial = choice.session;
    trial.seconds = 0;
    std::string problem = sessionConfigFor(trial, 0, 0, setup.config, setup.format);
    if (!problem.empty()) return problem;
    const SessionConfig& config = setup.config;
    setup.ratio = choice.ratio;
    setup.caching = choice.session.caching;
    setup.bufferSeconds = choice.session.bufferSeconds;
    setup.headroomPercent = choice.headroomPercent;
    setup.repeat = choice.repeat;
    setup.place.base = choice.base;
    setup.playedCold = setup.caching == bypassFileCache || platformCanDropCachedPages();
    setup.takeNs = static_cast<uint64_t>(std::llround(choice.takeMinutes * 60e9));
    setup.place.removeLeftovers = choice.removeLeftovers;
    setup.place.lock = invalidTrackHandle;
    double bytesPerSecond = sampleFormatBytesPerSecond(setup.format);
    double seconds = choice.session.seconds;
    char text[400];
    if (seconds != 0) {
        // A trial too short to fail would pass whatever the disk does.
        double shortest = std::ceil(shortestTellingNs(config) / 1e8) / 10;
        if (seconds < shortest) {
            std::snprintf(text, sizeof text,
                          "a trial of %s cannot show a dropout: with a %s buffer and %u KByte "
                          "requests (%.3f s of audio) it must last at least %s (three buffer "
                          "lengths and ten requests' audio); choose --seconds %g or more",
                          secondsText(seconds).c_str(), bufferText(setup.bufferSeconds).c_str(),
                          static_cast<unsigned>(config.requestSize >> 10),
                          config.requestSize / bytesPerSecond, secondsText(shortest).c_str(),
                          shortest);
            return text;
        }
        setup.config.durationNs = static_cast<uint64_t>(std::llround(seconds * 1e9));
    }
    // Headroom can never exceed what is left of the buffer beside one request.
    double reachable = 100.0 * bestHeadroomBytes(config) / config.bufferBytes;
    if (reachable < setup.headroomPercent) {
        std::snprintf(text, sizeof text,
                      "a %u KByte request holds %.2f s of one track, so a %s buffer keeps at most "
                      "%.0f %% headroom, less than the %g %% asked: choose a smaller --request, a "
                      "longer --buffer or a lower --headroom",
                      static_cast<unsigned>(config.requestSize >> 10),
                      config.requestSize / bytesPerSecond,
                      secondsText(setup.bufferSeconds).c_str(), reachable, setup.headroomPercent);
        return text;
    }
    return "";
}

void limitCapacitySearch(CapacitySetup& setup, uint32_t maxTracks)
{
    setup.limit = maxRecordTracksFor(setup.ratio, maxTracks);
    setup.limitReason = limitAsked;
    uint32_t wanted = setup.limit + playTracksFor(setup.ratio, setup.limit) + spareOpenFiles;
    uint32_t allowed = platformRaiseOpenFileLimit(wanted);
    if (allowed < wanted) {
        setup.limit = allowed > spareOpenFiles
                          ? maxRecordTracksFor(setup.ratio, allowed - spareOpenFiles)
                          : 0;
        setup.limitReason = limitOpenFiles;
    }
    setup.freeBytes = queryFreeBytes(numberedTrackFileName(recordBaseIn(setup.place), 1).c_str());
    if (setup.freeBytes == 0) return;  // unknown: each trial checks for itself
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
        watch.trialStarting(watch.context, number, count, playTracksFor(search.setup->ratio, count));
}

bool runCapacityTrial(void* context, uint32_t count, TrialResult& result)
{
    SearchState& search = *static_cast<SearchState*>(context);
    const CapacitySetup& setup = *search.setup;
    search.bench->preparationNs = 0;
    CapacityTrial trial;
    bool summarised = false;
    bool goOn = runBenchTrial(*search.bench, count, playTracksFor(setup.ratio, count),
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

CapacityRun runCapacity(CapacitySetup& setup, const TrialWatch& watch)
{
    CapacityRun run;
    const uint64_t start = platformMonotonicNs();
    TrialBench bench = openTrialBench(setup.place, setup.config, setup.format, setup.bufferSeconds,
                                      setup.caching, setup.headroomPercent / 100.0,
                                      capacityRules(setup).targetBusy, "", &watch);
    SearchState search{&setup, &bench, &run};
    if (setup.limit == 0) {
        run.search.stopped = true;
    } else if (setup.caching == throughFileCache &&
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
        uint32_t plays = playTracksFor(setup.ratio, answer.tracks);
        if (watch.trialStarting != nullptr)
            watch.trialStarting(watch.context, 0, answer.tracks, plays);
        runBenchTrial(bench, answer.tracks, plays, setup.takeNs, run.take, run.takeRan);
    }
    run.failure = bench.failure;
    run.interrupted = platformInterruptRequested();
    // Every file the search made, then its lock and its folder.
    clearBenchPlayback(bench);
    run.folderLeft = !closeSearchFolder(setup.place);
    run.freeBytesAfter = queryFreeBytes(setup.place.base.c_str());
    run.elapsedNs = platformMonotonicNs() - start;
    return run;
}
