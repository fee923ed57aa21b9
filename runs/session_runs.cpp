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

// The real-time part ended without a dropout and with at least the share
// of every buffer in use left as headroom.
bool keptRule(const SessionRun& run, double headroomShare)
{
    const SessionModel& model = run.model;
    const SessionConfig& config = model.config;
    if (model.recording.any || model.playback.any) return false;
    uint32_t lowest = config.bufferBytes;
    if (config.recordTracks > 0) lowest = std::min(lowest, model.recording.lowestHeadroom);
    if (config.playTracks > 0) lowest = std::min(lowest, model.playback.lowestHeadroom);
    return lowest >= headroomShare * config.bufferBytes;
}

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
                            const SessionFiles& files, const SessionWatch& watch,
                            const FlushWhen& flushWhen)
{
    clearDigest(digest);
    SetupResult setup = openSession(run, config, files);
    if (setup.status != setupReady) return setup;
    RequestFeed feed{&digest, &watch};
    RequestSink sink{&feed, feedRequest};
    bool started = prerollAndStart(run);
    if (started) {
        platformTimeBeginPeriod(1);
        while (!platformInterruptRequested() &&
               runSessionUntil(run, run.nowNs + progressSliceNs, sink))
            if (watch.progress != nullptr) watch.progress(watch.context, run);
        platformTimeEndPeriod(1);
    }
    if (started && files.caching == throughFileCache && config.recordTracks > 0 && !run.aborted &&
        !platformInterruptRequested() && (flushWhen.always || keptRule(run, flushWhen.headroomShare)))
        flushRecording(run);
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
    setup.playedCold = setup.caching == bypassFileCache || platformCanDropCachedPages();
    setup.takeNs = static_cast<uint64_t>(std::llround(choice.takeMinutes * 60e9));
    setup.removeLeftovers = choice.removeLeftovers;
    setup.lock = invalidTrackHandle;
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

namespace {

struct FolderListing {
    std::string prefix;
    std::vector<std::string> names;  // folders, or files
    bool folders;
    uint64_t bytes;
};

void collectEntry(void* context, const char* name, bool isFolder, uint64_t size)
{
    FolderListing& listing = *static_cast<FolderListing*>(context);
    if (listing.folders) {
        if (isFolder && std::string(name).compare(0, listing.prefix.size(), listing.prefix) == 0)
            listing.names.push_back(name);
        return;
    }
    if (!isFolder) listing.names.push_back(name);
    listing.bytes += size;
}

std::string folderOf(const std::string& path)
{
    size_t start = fileNameStart(path.c_str());
    return start == 0 ? "." : path.substr(0, start);
}

}  // namespace

std::vector<SearchFolder> findSearchFolders(const std::string& base)
{
    std::string parent = folderOf(base);
    FolderListing beside{base.substr(fileNameStart(base.c_str())) + ".capacity-", {}, true, 0};
    platformListFolder(parent.c_str(), collectEntry, &beside);
    std::vector<SearchFolder> found;
    for (const std::string& name : beside.names) {
        std::string path = (parent == "." ? "" : parent) + name;
        FolderListing inside{"", {}, false, 0};
        platformListFolder(path.c_str(), collectEntry, &inside);
        found.push_back(SearchFolder{path, inside.bytes, platformFolderLocked(path.c_str())});
    }
    return found;
}

bool removeSearchFolder(const std::string& path)
{
    FolderListing inside{"", {}, false, 0};
    platformListFolder(path.c_str(), collectEntry, &inside);
    for (const std::string& name : inside.names) platformRemoveTrackFile((path + "/" + name).c_str());
    return platformRemoveFolder(path.c_str());
}

bool makeSearchFolder(CapacitySetup& setup, std::string& reason)
{
    setup.others = findSearchFolders(setup.base);
    if (setup.removeLeftovers) {
        std::vector<SearchFolder> kept;
        for (const SearchFolder& other : setup.others)
            if (other.inUse || !removeSearchFolder(other.path)) kept.push_back(other);
        setup.others = kept;
    }
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
        if (platformMakeFolder(setup.folder.c_str())) {
            setup.storageKnown = platformDescribeStorage(setup.folder.c_str(), setup.storage);
            setup.lock = platformLockFolder(setup.folder.c_str());
            return true;
        }
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
    while (fits > 0 && searchDiskBytes(setup, fits) + freeSpaceReserve >= setup.freeBytes) --fits;
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
    uint64_t preparationNs;  // spent writing playback files before the trial under way
};

// Playback files for a trial of `plays` played tracks: written once in a
// search, the ones a larger count needs beside those there already.
bool preparePlayback(SearchState& search, uint32_t plays)
{
    if (plays <= search.playFilesMade) return true;
    const CapacitySetup& setup = *search.setup;
    if (search.watch->writingPlayback != nullptr)
        search.watch->writingPlayback(search.watch->context, plays - search.playFilesMade);
    uint32_t first = search.playFilesMade + 1;
    search.playFilesMade = plays;
    std::string reason;
    bool interrupted = false;
    uint64_t started = platformMonotonicNs();
    std::string failed =
        preparePlayFiles(search.playBase, first, plays - first + 1, playFileBytes(setup.config),
                         setup.config.requestSize, setup.caching, reason, interrupted);
    search.preparationNs += platformMonotonicNs() - started;
    if (interrupted) return false;
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

// One trial of count recorded tracks lasting durationNs; false when the
// search must stop (an interrupt, or a failure, said in the run). summarised:
// the trial ran, and trial holds what it showed.
bool runTrialOf(SearchState& search, uint32_t count, uint64_t durationNs, CapacityTrial& trial,
                bool& summarised)
{
    summarised = false;
    const CapacitySetup& setup = *search.setup;
    trial = CapacityTrial{};
    trial.recordTracks = count;
    trial.playTracks = playTracksFor(setup.ratio, count);
    if (!preparePlayback(search, trial.playTracks) || platformInterruptRequested()) return false;
    SessionConfig config = setup.config;
    config.playTracks = trial.playTracks;
    config.recordTracks = count;
    config.durationNs = durationNs;
    SessionRun run;
    SessionDigest digest;
    SetupResult started = runWholeSession(
        run, digest, config, SessionFiles{search.playBase, search.recordBase, 1, setup.caching},
        SessionWatch{&search, sessionProgress}, FlushWhen{false, setup.headroomPercent / 100.0});
    removeTrackFiles(search.recordBase, 1, count);
    if (platformInterruptRequested()) return false;
    TrialFailure& failure = search.run->failure;
    if (started.status != setupReady) {
        failure.any = true;
        failure.setup = started;
        failure.config = config;
        return false;
    }
    trial.summary = summariseSession(run, digest, setup.format, setup.bufferSeconds,
                                     capacityRules(setup).targetBusy);
    trial.passed = trialPasses(trial.summary, setup.headroomPercent);
    summarised = true;
    if (trial.summary.drain == drainUnknown) {
        // It kept pace in real time; whether the disk did cannot be told.
        failure.undecidable = true;
        return false;
    }
    if (run.aborted) {
        failure.any = true;
        failure.requestFailed = true;
        failure.readFailed = run.failedTrack < config.playTracks;
        failure.closeFailed = run.closeFailed;
        failure.writeBackFailed = run.writeBackFailed;
        failure.file = sessionTrackFileName(run, run.failedTrack);
        return false;
    }
    if (search.watch->trialEnded != nullptr) search.watch->trialEnded(search.watch->context, trial);
    return true;
}

bool runCapacityTrial(void* context, uint32_t count, TrialResult& result)
{
    SearchState& search = *static_cast<SearchState*>(context);
    search.preparationNs = 0;
    CapacityTrial trial;
    bool summarised = false;
    bool goOn = runTrialOf(search, count, search.setup->config.durationNs, trial, summarised);
    if (summarised) search.run->trials.push_back(trial);
    if (!goOn) return false;
    result = trialResult(trial.summary, trial.passed);
    // Writing playback files is the search's own work, not the trial's.
    result.preparationNs = search.preparationNs;
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
    SearchState search{&setup, &watch, recordBaseOf(setup), playBaseOf(setup), 0, &run, 0};
    if (setup.limit == 0) {
        run.search.stopped = true;
    } else if (setup.caching == throughFileCache &&
               !(setup.storageKnown && setup.storage.writtenBytesReadable)) {
        // No trial through the file cache could tell whether the disk kept pace.
        run.failure.undecidable = true;
        run.search.stopped = true;
    } else {
        CapacityWiring wiring{&search, runCapacityTrial, searchClock, announceTrial};
        run.search = runCapacitySearch(capacityRules(setup), searchEstimateNs(setup),
                                       nominalTrialNs(setup), wiring);
    }
    // The take, at the answer the search found.
    SearchAnswer answer = searchAnswer(capacityRules(setup), run.search.trials);
    if (setup.takeNs != 0 && !run.search.stopped && answer.tracks != 0) {
        if (watch.trialStarting != nullptr)
            watch.trialStarting(watch.context, 0, answer.tracks,
                                playTracksFor(setup.ratio, answer.tracks));
        runTrialOf(search, answer.tracks, setup.takeNs, run.take, run.takeRan);
    }
    run.interrupted = platformInterruptRequested();
    // Every file the search made, then its lock and its folder.
    removeTrackFiles(search.playBase, 1, search.playFilesMade);
    if (setup.lock != invalidTrackHandle) platformUnlockFolder(setup.lock, setup.folder.c_str());
    run.folderLeft = !platformRemoveFolder(setup.folder.c_str());
    run.freeBytesAfter = queryFreeBytes(setup.base.c_str());
    return run;
}
