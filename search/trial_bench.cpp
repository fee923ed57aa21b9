#include "search/trial_bench.h"

#include <algorithm>

#include "platform/console.h"
#include "platform/platform.h"
#include "search/search_folder.h"

TrialBench openTrialBench(const SearchPlace& place, const SessionConfig& config,
                          const SampleFormat& format, double bufferSeconds, TrackCaching caching,
                          double headroomShare, double allowedBusy, const std::string& tag,
                          const TrialWatch* watch)
{
    TrialBench bench;
    bench.config = config;
    bench.format = format;
    bench.bufferSeconds = bufferSeconds;
    bench.caching = caching;
    bench.headroomShare = headroomShare;
    bench.allowedBusy = allowedBusy;
    bench.recordBase = recordBaseIn(place);
    bench.playBase = playBaseIn(place, tag);
    bench.playFilesMade = 0;
    bench.preparationNs = 0;
    bench.watch = watch;
    return bench;
}

namespace {

// Playback files for a trial of `plays` played tracks: written once, the
// ones a larger count needs beside those there already.
bool preparePlayback(TrialBench& bench, uint32_t plays)
{
    if (plays <= bench.playFilesMade) return true;
    if (bench.watch->writingPlayback != nullptr)
        bench.watch->writingPlayback(bench.watch->context, plays - bench.playFilesMade);
    uint32_t first = bench.playFilesMade + 1;
    bench.playFilesMade = plays;
    bool interrupted = false;
    uint64_t started = platformMonotonicNs();
    PlayFileFailure failed =
        preparePlayFiles(bench.playBase, first, plays - first + 1, playFileBytes(bench.config),
                         bench.config.requestSize, bench.caching, interrupted);
    bench.preparationNs += platformMonotonicNs() - started;
    if (interrupted) return false;
    if (failed.step == playFileWritten) return true;
    bench.failure.any = true;
    bench.failure.playFile = failed.step;
    bench.failure.file = failed.file;
    bench.failure.why = failed.why;
    return false;
}

void sessionProgress(void* context, const SessionRun& run)
{
    const TrialWatch& watch = *static_cast<const TrialBench*>(context)->watch;
    if (watch.sessionProgress != nullptr) watch.sessionProgress(watch.context, run);
}

}  // namespace

bool noteSessionFailure(TrialFailure& failure, const SetupResult& started, const SessionRun& run,
                        const SessionConfig& config)
{
    if (started.status != setupReady) {
        failure.any = true;
        failure.setup = started;
        failure.config = config;
        return true;
    }
    if (!run.aborted) return false;
    failure.any = true;
    failure.requestFailed = true;
    failure.readFailed = run.failedTrack < config.playTracks;
    failure.closeFailed = run.closeFailed;
    failure.writeBackFailed = run.writeBackFailed;
    failure.file = sessionTrackFileName(run, run.failedTrack);
    failure.why = run.failedWhy;
    return true;
}

bool runBenchTrial(TrialBench& bench, uint32_t recordTracks, uint32_t playTracks,
                   uint64_t durationNs, SearchTrial& trial, bool& summarised)
{
    summarised = false;
    trial = SearchTrial{};
    trial.recordTracks = recordTracks;
    trial.playTracks = playTracks;
    uint64_t trialStart = platformMonotonicNs();
    uint64_t preparedBefore = bench.preparationNs;
    bool prepared = preparePlayback(bench, playTracks);
    trial.preparationNs = bench.preparationNs - preparedBefore;
    if (!prepared || platformInterruptRequested()) return false;
    SessionConfig config = bench.config;
    config.playTracks = playTracks;
    config.recordTracks = recordTracks;
    config.durationNs = durationNs;
    SessionRun run;
    SessionDigest digest;
    SetupResult started = runWholeSession(
        run, digest, config, SessionFiles{bench.playBase, bench.recordBase, 1, bench.caching},
        SessionWatch{&bench, sessionProgress}, FlushWhen{false, bench.headroomShare});
    removeTrackFiles(bench.recordBase, 1, recordTracks);
    if (platformInterruptRequested()) return false;
    if (started.status != setupReady) {
        noteSessionFailure(bench.failure, started, run, config);
        return false;
    }
    trial.summary = summariseSession(run, digest, bench.format, bench.bufferSeconds, bench.allowedBusy);
    trial.summary.preset = bench.preset;
    trial.wallNs = platformMonotonicNs() - trialStart;
    trial.passed = trialPasses(trial.summary, 100 * bench.headroomShare);
    summarised = true;
    if (trial.summary.drain == drainUnknown) {
        // It kept pace in real time; whether the disk did cannot be told.
        bench.failure.undecidable = true;
        return false;
    }
    if (noteSessionFailure(bench.failure, started, run, config)) return false;
    if (bench.watch->trialEnded != nullptr) bench.watch->trialEnded(bench.watch->context, trial);
    return true;
}

void clearBenchPlayback(TrialBench& bench)
{
    removeTrackFiles(bench.playBase, 1, bench.playFilesMade);
    bench.playFilesMade = 0;
}

bool measureDrain(const SearchPlace& place, uint64_t bytes, double& bytesPerSecond,
                  TrialFailure& failure)
{
    const uint32_t files = 16;
    const uint32_t requestSize = 1 << 20;
    bytesPerSecond = 0;
    SessionConfig config{};
    config.recordTracks = files;
    config.frameBytes = 4;
    config.requestSize = requestSize;
    config.bufferBytes = 2 * requestSize;
    config.durationNs = 1000000000u;
    config.frameRate = static_cast<uint32_t>(std::max<uint64_t>(1, bytes / files / config.frameBytes));
    std::string base = recordBaseIn(place);
    static SessionDigest digest;
    SessionRun run;
    SetupResult started = runWholeSession(run, digest, config,
                                          SessionFiles{base, base, 1, throughFileCache},
                                          SessionWatch{nullptr, nullptr}, FlushWhen{true, 0});
    removeTrackFiles(base, 1, files);
    if (noteSessionFailure(failure, started, run, config) || platformInterruptRequested()) return false;
    const FlushResult& flush = run.flush;
    if (flush.ran && flush.counted && flush.dataNs > 0)
        bytesPerSecond = flush.deviceBytes * 1e9 / flush.dataNs;
    return true;
}
