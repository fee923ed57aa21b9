#include "runs/session_runs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/number_text.h"
#include "engine/plan.h"
#include "engine/track_name.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {

const uint64_t progressSliceNs = 250000000;  // progress is told four times a second
const uint64_t nsPerSecond = 1000000000u;

}  // namespace

std::string sessionConfigFor(const SessionChoice& choice, uint32_t playTracks,
                             uint32_t recordTracks, SessionConfig& config, SampleFormat& format)
{
    format = SampleFormat{choice.rate, choice.bits, choice.channels};
    config = SessionConfig();
    config.playTracks = playTracks;
    config.recordTracks = recordTracks;
    config.frameRate = choice.rate;
    config.frameBytes = choice.bits / 8 * choice.channels;
    config.requestSize = choice.requestKBytes != 0 ? choice.requestKBytes << 10
                                                   : recorderRequestBytes(config.frameBytes);
    config.durationNs = static_cast<uint64_t>(std::llround(choice.seconds * 1e9));
    uint64_t frames = static_cast<uint64_t>(std::llround(choice.bufferSeconds * choice.rate));
    config.bufferBytes = static_cast<uint32_t>(frames * config.frameBytes);
    if (config.bufferBytes < config.requestSize + config.frameBytes) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "a %s buffer holds %s bytes of %s, not more than one %u KByte request: "
                      "choose a longer --buffer or a smaller --request",
                      secondsText(choice.bufferSeconds).c_str(),
                      withThousands(config.bufferBytes).c_str(), sampleFormatLabel(format).c_str(),
                      static_cast<unsigned>(config.requestSize >> 10));
        return text;
    }
    if (config.durationNs == 0) config.durationNs = std::max(30 * nsPerSecond, shortestTellingNs(config));
    return "";
}

namespace {

struct RequestFeed {
    SessionDigest* digest;
    const SessionWatch* watch;
};

void feedRequest(void* context, const SessionRun& run, const RequestRecord& request)
{
    const RequestFeed& feed = *static_cast<const RequestFeed*>(context);
    digestRequest(*feed.digest, run, request);
    if (feed.watch->request != nullptr) feed.watch->request(feed.watch->context, run, request);
}

}  // namespace

SetupResult runWholeSession(SessionRun& run, SessionDigest& digest, const SessionConfig& config,
                            const SessionFiles& files, const SessionWatch& watch)
{
    clearDigest(digest);
    SetupResult setup = openSession(run, config, files);
    if (setup.status != setupReady) return setup;
    RequestFeed feed{&digest, &watch};
    RequestSink sink{&feed, feedRequest};
    if (prerollAndStart(run)) {
        platformTimeBeginPeriod(1);
        while (!platformInterruptRequested() &&
               runSessionUntil(run, run.nowNs + progressSliceNs, sink))
            if (watch.progress != nullptr) watch.progress(watch.context, run);
        platformTimeEndPeriod(1);
    }
    closeSession(run);
    return setup;
}

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
    setup.base = choice.base;
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

namespace {

// A file name with "-play" before its last dot: take.wav -> take-play.wav.
std::string playNameFor(const std::string& name)
{
    size_t dot = name.find_last_of('.');
    std::string play = name;
    play.insert(dot == std::string::npos ? name.size() : dot, "-play");
    return play;
}

std::string recordBaseOf(const CapacitySetup& setup)
{
    return setup.folder + "/" + setup.base.substr(fileNameStart(setup.base.c_str()));
}

std::string playBaseOf(const CapacitySetup& setup)
{
    return setup.folder + "/" + playNameFor(setup.base.substr(fileNameStart(setup.base.c_str())));
}

}  // namespace

bool makeSearchFolder(CapacitySetup& setup, std::string& reason)
{
    std::string name = setup.base.substr(fileNameStart(setup.base.c_str()));
    for (uint32_t attempt = 0; attempt < 64; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".capacity-%06x",
                      static_cast<unsigned>((platformMonotonicNs() / 1000 + attempt * 7919u) & 0xffffff));
        setup.folder = setup.base + suffix;
        // Room for the played files' names inside it.
        if (setup.folder.size() + 1 + playNameFor(name).size() + 5 > maxBaseFileName) {
            reason = "the base file name is too long to name the search's folder and files";
            return false;
        }
        if (platformMakeFolder(setup.folder.c_str())) return true;
    }
    reason = std::string(platformLastErrorText()) + ": " + setup.folder;
    return false;
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
    setup.freeBytes = queryFreeBytes(numberedTrackFileName(recordBaseOf(setup), 1).c_str());
    if (setup.freeBytes == 0) return;  // unknown: each trial checks for itself
    uint32_t fits = setup.limit;
    while (fits > 0 &&
           trialDiskBytes(setup.config, setup.ratio, fits) + freeSpaceReserve >= setup.freeBytes)
        --fits;
    if (fits < setup.limit) {
        setup.limit = fits;
        setup.limitReason = limitDiskSpace;
    }
}

namespace {

// The search's side of the trials: its files, the trials so far.
struct SearchState {
    const CapacitySetup* setup;
    const CapacityWatch* watch;
    std::string recordBase;
    std::string playBase;
    uint32_t playFilesMade;
    CapacityRun* run;
};

// Playback files for a trial of `plays` played tracks: all of them written
// anew, round-robin, whenever more are needed than exist.
bool preparePlayback(SearchState& search, uint32_t plays)
{
    if (plays <= search.playFilesMade) return true;
    const CapacitySetup& setup = *search.setup;
    if (search.watch->writingPlayback != nullptr)
        search.watch->writingPlayback(search.watch->context, plays);
    search.playFilesMade = plays;
    std::string reason;
    std::string failed = preparePlayFiles(search.playBase, plays, playFileBytes(setup.config),
                                          setup.config.requestSize, setup.caching, reason);
    if (failed.empty()) return true;
    TrialFailure& failure = search.run->failure;
    failure.any = true;
    failure.file = failed;
    failure.reason = reason;
    return false;
}

void announceTrial(void* context, uint32_t number, uint32_t count)
{
    SearchState& search = *static_cast<SearchState*>(context);
    const CapacityWatch& watch = *search.watch;
    if (watch.trialStarting != nullptr)
        watch.trialStarting(watch.context, number, count, playTracksFor(search.setup->ratio, count));
}

void sessionProgress(void* context, const SessionRun& run)
{
    const CapacityWatch& watch = *static_cast<const SearchState*>(context)->watch;
    if (watch.sessionProgress != nullptr) watch.sessionProgress(watch.context, run);
}

bool runCapacityTrial(void* context, uint32_t count, TrialResult& result)
{
    SearchState& search = *static_cast<SearchState*>(context);
    const CapacitySetup& setup = *search.setup;
    CapacityTrial trial{};
    trial.recordTracks = count;
    trial.playTracks = playTracksFor(setup.ratio, count);
    if (!preparePlayback(search, trial.playTracks) || platformInterruptRequested()) return false;
    SessionConfig config = setup.config;
    config.playTracks = trial.playTracks;
    config.recordTracks = count;
    SessionRun run;
    SessionDigest digest;
    SetupResult started =
        runWholeSession(run, digest, config,
                        SessionFiles{search.playBase, search.recordBase, 1, setup.caching},
                        SessionWatch{&search, sessionProgress});
    removeTrackFiles(search.recordBase, 1, count);
    if (platformInterruptRequested()) return false;
    TrialFailure& failure = search.run->failure;
    if (started.status != setupReady) {
        failure.any = true;
        failure.setup = started;
        failure.config = config;
        return false;
    }
    trial.summary = summariseSession(run, digest, setup.format, setup.bufferSeconds);
    trial.passed = trialPasses(trial.summary, setup.headroomPercent);
    search.run->trials.push_back(trial);
    if (run.aborted) {
        failure.any = true;
        failure.requestFailed = true;
        failure.readFailed = run.failedTrack < config.playTracks;
        failure.closeFailed = run.closeFailed;
        failure.file = sessionTrackFileName(run, run.failedTrack);
        return false;
    }
    if (search.watch->trialEnded != nullptr) search.watch->trialEnded(search.watch->context, trial);
    result = trialResult(trial.summary, trial.passed);
    return true;
}

uint64_t searchClock(void*)
{
    return platformMonotonicNs();
}

}  // namespace

CapacityRun runCapacity(const CapacitySetup& setup, const CapacityWatch& watch)
{
    CapacityRun run;
    SearchState search{&setup, &watch, recordBaseOf(setup), playBaseOf(setup), 0, &run};
    if (setup.limit == 0) {
        run.search.stopped = true;
    } else {
        CapacityWiring wiring{&search, runCapacityTrial, searchClock, announceTrial};
        run.search = runCapacitySearch(capacityRules(setup), capacityEstimateNs(setup),
                                       nominalTrialNs(setup), wiring);
    }
    run.interrupted = platformInterruptRequested();
    // Every file the search made, then its folder.
    removeTrackFiles(search.playBase, 1, search.playFilesMade);
    run.folderLeft = !platformRemoveFolder(setup.folder.c_str());
    return run;
}
