// What a finished session says (session/session_summary.h): its verdict line,
// its figures as text and as JSON, the log of every request and its charts.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "analysis/audio_analysis.h"
#include "analysis/json_text.h"
#include "analysis/svg_chart.h"
#include "session/session_summary.h"

// "/dev/vda (virtio_blk), ext4 on / (rw,relatime)", for any folder.
std::string storageText(const StorageInfo& storage);
nlohmann::json storageJson(const StorageInfo& storage, const std::string& folder);

// "file cache bypassed" or "through the file cache".
const char* cachingText(TrackCaching caching);
// "bypass" or "os", as --cache names them.
const char* cachingName(TrackCaching caching);
// " (Ardour's small preset)" after a buffer's length; "" for none.
std::string presetText(BufferingPreset preset);
// JSON: "small", ..., or null.
nlohmann::json presetJson(BufferingPreset preset);
// "4.2 %", "< 0.1 %" for a disk that worked but hardly, "0.0 %" for none.
std::string busyText(double percent);

// "records 12 tracks of 48 kHz 24-bit mono with a 5.0 s buffer, file cache
// bypassed: no dropout in 60 s, lowest headroom 3.13 s of a possible
// 3.64 s: it survives a 3.1 s stall; 1.73 MB/s in all, disk busy 4.2 %".
std::string sessionVerdict(const SessionSummary& summary);
// The figures, a blank line, the verdict.
std::string formatSessionText(const SessionSummary& summary);
// pathText: how its file names are written (json_text.h).
nlohmann::json sessionJson(const SessionSummary& summary, PathText pathText);

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
