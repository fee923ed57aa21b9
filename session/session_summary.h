// What a finished session showed, as its verdict needs it: dropouts, the
// lowest headroom per direction, request latency, how busy the disk was,
// and through the file cache how fast the device drained the recording;
// the digest that keeps those figures as the requests complete, and the
// rules that judge them.
#pragma once
#include <cstdint>
#include <string>

#include "session/latency_histogram.h"
#include "session/sample_format.h"
#include "session/session_runner.h"

enum SessionOutcome {
    sessionNoDropout,
    sessionDropout,
    sessionTooShort,  // no dropout, but too short (or too idle) to have shown one
    sessionAborted,
    sessionDiskBehind,     // through the file cache: no dropout, but the disk drained too slowly
    sessionDrainUnknown,   // through the file cache: no device counter to tell the drain by
};

// How the disk kept pace with a recording that went through the file cache,
// judged by its flush: the speed at which the device wrote the backlog the
// recording left (its own counter over the flush's time) against what the
// tracks need, divided by the busy share the rule allows.
enum DrainVerdict {
    drainNotNeeded,  // the cache was bypassed, or nothing was recorded
    drainNotRun,     // no flush: the real-time part failed, or was interrupted
    drainUnknown,    // no device counter (tmpfs, FUSE, a network share)
    drainNoBacklog,  // flushed within drainFloorNs: nothing waited for the disk
    drainKeptPace,
    drainTooSlow,
};
// A flush this short left nothing to measure: the disk had kept up during
// the recording (a single stall of the disk lasts 5-25 ms here).
const uint64_t drainFloorNs = 250000000;
DrainVerdict judgeDrain(TrackCaching caching, const SessionConfig& config, const FlushResult& flush,
                        double neededBytesPerSecond, double& drainBytesPerSecond);

struct SessionSummary {
    SessionConfig config;
    TrackCaching caching;
    bool playedCold;  // every read of a played file came from the disk
    uint64_t warmReads;  // reads after a played file started over, through the file cache
    SampleFormat format;
    uint32_t bytesPerSecond;  // one track
    double bufferSeconds;
    BufferingPreset preset;  // the recorder's preset the buffer and requests came from
    std::string firstRecordFile;
    std::string lastRecordFile;
    bool aborted;
    std::string failedFile;  // the file of the request that failed
    uint64_t elapsedNs;
    DropoutTally recording;
    DropoutTally playback;
    std::string firstOverrunFile;  // the track file of each first dropout
    std::string firstUnderrunFile;
    uint64_t requestCount;
    uint64_t writeRequests;
    uint64_t readRequests;
    uint64_t busyNs;
    LatencySummary latency;  // all zero without requests
    bool storageKnown;
    StorageInfo storage;       // what holds the files measured
    std::string storageFolder;
    FlushResult flush;
    double drainBytesPerSecond;   // 0 where not measured
    double neededDrainBytesPerSecond;
    DrainVerdict drain;
};

// The worst request of each direction (write, read) in one interval of
// session time: the lowest headroom and the longest latency, each with the
// start of its request.
struct ChartInterval {
    bool has[2];
    uint32_t lowestHeadroom[2];  // bytes
    uint64_t lowestAtNs[2];
    uint64_t slowestNs[2];
    uint64_t slowestAtNs[2];
};

// The session's charts cut its planned length into this many intervals.
const uint32_t chartIntervals = 600;

// What the report keeps of the requests as they complete: the latency
// histogram and the chart's intervals, of one size whatever the session's
// length.
struct SessionDigest {
    LatencyHistogram latency;
    ChartInterval intervals[chartIntervals];
};

// A request's headroom: room left in a recording buffer, audio left in a
// playback one.
uint32_t requestHeadroomBytes(const SessionConfig& config, const RequestRecord& request);

// Empties the digest for a session that has not started.
void clearDigest(SessionDigest& digest);
// Takes a completed request of run.
void digestRequest(SessionDigest& digest, const SessionRun& run, const RequestRecord& request);

// allowedBusy: the busy share the rule allows the disk (a session's: all of
// it); the recording must drain at its data rate divided by that.
SessionSummary summariseSession(const SessionRun& run, const SessionDigest& digest,
                                const SampleFormat& format, double bufferSeconds,
                                double allowedBusy = 1.0);

bool sessionHasDropout(const SessionSummary& summary);
// A dropout is an answer at any length; no dropout is one only for a session
// that lasted shortestTellingNs and issued requests in every direction it has.
SessionOutcome sessionOutcome(const SessionSummary& summary);
// Seconds of one track's audio in bytes.
double audioSeconds(uint64_t bytes, uint32_t bytesPerSecond);
// The lower headroom of the directions in use, in bytes.
uint32_t lowestHeadroomBytes(const SessionSummary& summary);
// Time inside requests / wall time, in %.
double diskBusyPercent(const SessionSummary& summary);

