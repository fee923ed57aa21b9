// What a finished session says: dropouts, the lowest headroom per direction,
// request latency, how busy the disk was, and the verdict line; as text, as
// JSON, and as a log of every request.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/audio_analysis.h"
#include "analysis/latency_histogram.h"
#include "analysis/sample_format.h"
#include "analysis/svg_chart.h"
#include "session/session_runner.h"

enum SessionOutcome {
    sessionNoDropout,
    sessionDropout,
    sessionTooShort,  // no dropout, but too short (or too idle) to have shown one
    sessionAborted,
};

struct SessionSummary {
    SessionConfig config;
    TrackCaching caching;
    bool playedCold;  // the played files' cached pages were dropped (or bypassed)
    SampleFormat format;
    uint32_t bytesPerSecond;  // one track
    double bufferSeconds;
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

// Empties the digest for a session that has not started.
void clearDigest(SessionDigest& digest);
// Takes a completed request of run.
void digestRequest(SessionDigest& digest, const SessionRun& run, const RequestRecord& request);

SessionSummary summariseSession(const SessionRun& run, const SessionDigest& digest,
                                const SampleFormat& format, double bufferSeconds);

bool sessionHasDropout(const SessionSummary& summary);
// A dropout is an answer at any length; no dropout is one only for a session
// that lasted shortestTellingNs and issued requests in every direction it has.
SessionOutcome sessionOutcome(const SessionSummary& summary);
// "file cache bypassed" or "through the file cache".
const char* cachingText(TrackCaching caching);
// "bypass" or "os", as --cache names them.
const char* cachingName(TrackCaching caching);
// "4.2 %", "< 0.1 %" for a disk that worked but hardly, "0.0 %" for none.
std::string busyText(double percent);
// Seconds of one track's audio in bytes.
double audioSeconds(uint64_t bytes, uint32_t bytesPerSecond);
// The lower headroom of the directions in use, in bytes.
uint32_t lowestHeadroomBytes(const SessionSummary& summary);
// Time inside requests / wall time, in %.
double diskBusyPercent(const SessionSummary& summary);

// "records 12 tracks of 48 kHz 24-bit mono with a 5.0 s buffer, file cache
// bypassed: no dropout in 60 s, lowest headroom 3.13 s of a possible
// 3.64 s: it survives a 3.1 s stall; 1.73 MB/s in all, disk busy 4.2 %".
std::string sessionVerdict(const SessionSummary& summary);
// The figures, a blank line, the verdict.
std::string formatSessionText(const SessionSummary& summary);
nlohmann::json sessionJson(const SessionSummary& summary);

// The request log, CSV: the header line, then a line per request as it
// completes: request number, track file number, direction, bytes, start, end
// and latency in microseconds of session time, and the track's buffer level
// with its headroom.
extern const char sessionLogHeader[];
// Appends the line of a request just handed over by run (whose count of
// requests includes it, so gives its number).
void appendSessionLogLine(std::string& text, const SessionRun& run, const RequestRecord& request,
                          uint32_t bytesPerSecond);

// The session as two charts: every direction's headroom at its requests and
// the request latency against session time, the worst of each interval; the
// first dropout is marked.
std::vector<SvgChart> sessionCharts(const SessionDigest& digest, const SessionSummary& summary);
