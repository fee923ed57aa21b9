#include "session/whole_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/plan.h"
#include "engine/track_name.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {

const uint64_t progressSliceNs = 250000000;  // progress is told four times a second
const uint64_t nsPerSecond = 1000000000u;

}  // namespace

SettingsCheck sessionConfigFor(const SessionChoice& choice, uint32_t playTracks,
                               uint32_t recordTracks, SessionConfig& config)
{
    const SampleFormat& format = choice.format;
    config = SessionConfig();
    config.playTracks = playTracks;
    config.recordTracks = recordTracks;
    config.frameRate = format.rate;
    config.frameBytes = format.bits / 8 * format.channels;
    config.requestSize =
        choice.requestSize != 0 ? choice.requestSize
                                : recorderRequestBytes(config.frameBytes, choice.requestFrames);
    config.durationNs = static_cast<uint64_t>(std::llround(choice.seconds * 1e9));
    uint64_t frames = static_cast<uint64_t>(std::llround(choice.bufferSeconds * format.rate));
    config.bufferBytes = static_cast<uint32_t>(frames * config.frameBytes);
    SettingsCheck check;
    check.format = format;
    check.bufferSeconds = choice.bufferSeconds;
    check.bufferBytes = config.bufferBytes;
    check.requestSize = config.requestSize;
    if (config.bufferBytes < config.requestSize + config.frameBytes) {
        check.problem = settingsBufferTooShort;
        return check;
    }
    if (config.durationNs == 0) config.durationNs = std::max(30 * nsPerSecond, shortestTellingNs(config));
    return check;
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

