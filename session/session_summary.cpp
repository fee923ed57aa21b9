#include "session/session_summary.h"

#include <algorithm>

#include "engine/track_name.h"

DrainVerdict judgeDrain(TrackCaching caching, const SessionConfig& config, const FlushResult& flush,
                        double neededBytesPerSecond, double& drainBytesPerSecond)
{
    drainBytesPerSecond = 0;
    if (caching == bypassFileCache || config.recordTracks == 0) return drainNotNeeded;
    if (!flush.ran) return drainNotRun;
    if (!flush.counted) return drainUnknown;
    if (flush.dataNs > 0) drainBytesPerSecond = flush.deviceBytes * 1e9 / flush.dataNs;
    if (flush.dataNs < drainFloorNs) return drainNoBacklog;
    return drainBytesPerSecond >= neededBytesPerSecond ? drainKeptPace : drainTooSlow;
}

void clearDigest(SessionDigest& digest)
{
    clearLatencies(digest.latency);
    for (ChartInterval& interval : digest.intervals) interval = ChartInterval{};
}

uint32_t requestHeadroomBytes(const SessionConfig& config, const RequestRecord& request)
{
    return request.track < config.playTracks ? request.level : config.bufferBytes - request.level;
}

void digestRequest(SessionDigest& digest, const SessionRun& run, const RequestRecord& request)
{
    const SessionConfig& config = run.model.config;
    uint64_t latency = request.endNs - request.startNs;
    addLatency(digest.latency, latency);
    // Intervals of the planned length: known before the first request.
    uint64_t span = std::max<uint64_t>(config.durationNs, 1);
    ChartInterval& interval =
        digest.intervals[std::min<uint64_t>(chartIntervals - 1, request.startNs * chartIntervals / span)];
    int direction = request.track < config.playTracks ? 1 : 0;
    uint32_t headroom = requestHeadroomBytes(config, request);
    bool first = !interval.has[direction];
    if (first || headroom < interval.lowestHeadroom[direction]) {
        interval.lowestHeadroom[direction] = headroom;
        interval.lowestAtNs[direction] = request.startNs;
    }
    if (first || latency > interval.slowestNs[direction]) {
        interval.slowestNs[direction] = latency;
        interval.slowestAtNs[direction] = request.startNs;
    }
    interval.has[direction] = true;
}

SessionSummary summariseSession(const SessionRun& run, const SessionDigest& digest,
                                const SampleFormat& format, double bufferSeconds,
                                double allowedBusy)
{
    SessionSummary summary{};
    const SessionModel& model = run.model;
    summary.config = model.config;
    summary.caching = run.files.caching;
    summary.playedCold = run.playedCold;
    summary.warmReads = run.warmReads;
    summary.format = format;
    summary.bytesPerSecond = sampleFormatBytesPerSecond(format);
    summary.bufferSeconds = bufferSeconds;
    uint32_t plays = model.config.playTracks;
    uint32_t tracks = plays + model.config.recordTracks;
    if (model.config.recordTracks > 0) {
        summary.firstRecordFile = sessionTrackFileName(run, plays);
        summary.lastRecordFile = sessionTrackFileName(run, tracks - 1);
    }
    summary.aborted = run.aborted;
    if (run.aborted) summary.failedFile = sessionTrackFileName(run, run.failedTrack);
    summary.elapsedNs = sessionElapsedNs(run);
    summary.recording = model.recording;
    summary.playback = model.playback;
    if (model.recording.any) summary.firstOverrunFile = sessionTrackFileName(run, model.recording.firstTrack);
    if (model.playback.any) summary.firstUnderrunFile = sessionTrackFileName(run, model.playback.firstTrack);
    summary.requestCount = model.requestCount;
    summary.writeRequests = model.writeRequests;
    summary.readRequests = model.readRequests;
    summary.busyNs = model.busyNs;
    summary.latency = summariseLatencies(digest.latency);
    summary.storageKnown = run.storageKnown;
    summary.storage = run.storage;
    if (model.config.playTracks + model.config.recordTracks > 0) {
        std::string measured = sessionTrackFileName(
            run, model.config.playTracks + model.config.recordTracks - 1);
        summary.storageFolder = measured.substr(0, fileNameStart(measured.c_str()));
        if (summary.storageFolder.size() > 1) summary.storageFolder.pop_back();
        if (summary.storageFolder.empty()) summary.storageFolder = ".";
    }
    summary.flush = run.flush;
    summary.neededDrainBytesPerSecond =
        static_cast<double>(model.config.recordTracks) * summary.bytesPerSecond / allowedBusy;
    summary.drain = judgeDrain(summary.caching, model.config, run.flush,
                               summary.neededDrainBytesPerSecond, summary.drainBytesPerSecond);
    return summary;
}

bool sessionHasDropout(const SessionSummary& summary)
{
    return summary.recording.any || summary.playback.any;
}

SessionOutcome sessionOutcome(const SessionSummary& summary)
{
    const SessionConfig& config = summary.config;
    if (summary.aborted) return sessionAborted;
    if (sessionHasDropout(summary)) return sessionDropout;
    if (config.durationNs < shortestTellingNs(config)) return sessionTooShort;
    if ((config.recordTracks > 0 && summary.writeRequests == 0) ||
        (config.playTracks > 0 && summary.readRequests == 0))
        return sessionTooShort;
    if (summary.drain == drainTooSlow) return sessionDiskBehind;
    if (summary.drain == drainUnknown) return sessionDrainUnknown;
    return sessionNoDropout;
}

double audioSeconds(uint64_t bytes, uint32_t bytesPerSecond)
{
    return static_cast<double>(bytes) / bytesPerSecond;
}

uint32_t lowestHeadroomBytes(const SessionSummary& summary)
{
    uint32_t lowest = summary.config.bufferBytes;
    if (summary.config.recordTracks > 0) lowest = std::min(lowest, summary.recording.lowestHeadroom);
    if (summary.config.playTracks > 0) lowest = std::min(lowest, summary.playback.lowestHeadroom);
    return lowest;
}

double diskBusyPercent(const SessionSummary& summary)
{
    if (summary.elapsedNs == 0) return 0;
    return 100.0 * static_cast<double>(summary.busyNs) / static_cast<double>(summary.elapsedNs);
}

