// What a finished session says: dropouts, the lowest headroom per direction,
// request latency, how busy the disk was, and the verdict line; as text, as
// JSON, and as a log of every request.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/audio_analysis.h"
#include "cli/sample_format.h"
#include "cli/svg_chart.h"
#include "session/session_runner.h"

struct SessionSummary {
    SessionConfig config;
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
    uint64_t busyNs;
    LatencySummary latency;  // all zero without requests
};

SessionSummary summariseSession(const SessionRun& run, const SampleFormat& format,
                                double bufferSeconds);

bool sessionHasDropout(const SessionSummary& summary);
// Seconds of one track's audio in bytes.
double audioSeconds(uint64_t bytes, uint32_t bytesPerSecond);
// The lower headroom of the directions in use, in bytes.
uint32_t lowestHeadroomBytes(const SessionSummary& summary);
// Time inside requests / wall time, in %.
double diskBusyPercent(const SessionSummary& summary);

// "records 12 tracks of 48 kHz 24-bit mono with a 5.0 s buffer: no dropout
// in 60 s, lowest headroom 4.82 s, disk busy 34 %".
std::string sessionVerdict(const SessionSummary& summary);
// The figures, a blank line, the verdict.
std::string formatSessionText(const SessionSummary& summary);
nlohmann::json sessionJson(const SessionSummary& summary);

// One CSV line per request: the header, then request number, track file
// number, direction, bytes, start, end and latency in microseconds of
// session time, and the track's buffer level with its headroom.
void writeSessionLog(std::FILE* out, const SessionRun& run, uint32_t bytesPerSecond);

// The session as two charts: every direction's headroom at its requests and
// the request latency against session time, the worst of each of at most
// chartIntervals intervals; the first dropout is marked.
const uint32_t chartIntervals = 600;
std::vector<SvgChart> sessionCharts(const SessionRun& run, const SessionSummary& summary);
