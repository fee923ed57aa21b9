// What the per-request clock readings of one pass say beyond the report:
// the pass timed with a microsecond clock, and, per sample format (the
// report's four 44.1 kHz ones unless others are chosen), whether N tracks
// could be streamed without falling behind real time.
//
// Readings are nanoseconds of a monotonic clock: the start of the pass and
// the end of every completed request, in request order.
//
// Round: one cycle of trackCount requests, one per track file. Round r takes
// ends[(r+1)N-1] - ends[rN-1], and round 0 is measured from the pass start.
// A trailing cycle with fewer than N readings is not a round.
//
// Real-time budget of a round: each round gives every track one request of
// audio, which lasts requestSize / bytesPerSecond seconds when played or
// recorded; the disk keeps up as long as each round takes less than that.
// Margin = budget / slowest round. Verdict: margin >= 2 "can stream",
// 1 <= margin < 2 "marginal", below 1 "cannot stream".
//
// Request latency: each reading minus the one before it (the first request
// is measured from the pass start).
//
// Percentiles are nearest-rank: of n values sorted ascending, the p-th
// percentile is the value at 1-based rank ceil(p/100 * n), at least 1. So
// the median of an even count is the lower of the two middle values, and
// the 99th percentile of fewer than 100 values is the maximum.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "session/latency_histogram.h"
#include "session/sample_format.h"
#include "engine/results_report.h"

enum StreamVerdict { verdictCanStream, verdictMarginal, verdictCannotStream };

const double comfortableMargin = 2.0;  // margin at or above: "can stream"
const double realTimeMargin = 1.0;     // margin below: "cannot stream"

struct FormatAnswer {
    const char* name;  // as the report names it, e.g. "Stereo 24 Bit"
    uint32_t bytesPerSecond;
    uint64_t budgetNs;  // real time that one round's audio lasts
    double margin;      // budget / slowest round
    StreamVerdict verdict;
};

struct PassAnalysis {
    bool valid;               // at least one complete round was timed
    uint64_t totalBytes;      // bytes of the requests that were timed
    uint64_t elapsedNs;       // pass start to the end of the last request
    uint32_t trackCount;
    uint32_t requestSize;
    uint32_t roundCount;
    uint64_t slowestRoundNs;
    uint64_t p99RoundNs;
    LatencySummary latency;
    uint32_t formatCount;
    FormatAnswer formats[trackFormatCount];
};

// Nearest-rank percentile (p in (0, 100]) of values; 0 for no values.
uint64_t nearestRankPercentile(std::vector<uint64_t> values, double p);
// Least, median, 99th percentile and largest of latencies; all 0 for none.
LatencySummary summariseLatencies(const std::vector<uint64_t>& latencies);

std::vector<uint64_t> roundDurations(uint64_t startNs, const std::vector<uint64_t>& requestEndNs,
                                     uint32_t trackCount);
std::vector<uint64_t> requestLatencies(uint64_t startNs, const std::vector<uint64_t>& requestEndNs);

// Nanoseconds that requestSize bytes of one track last, rounded to nearest.
uint64_t roundBudgetNs(uint32_t requestSize, uint32_t bytesPerSecond);
// budget / slowest round; a round of 0 ns counts as 1 ns.
double streamMargin(uint64_t budgetNs, uint64_t slowestRoundNs);
StreamVerdict verdictFor(double margin);
const char* verdictName(StreamVerdict verdict);  // "can", "marginal", "cannot"
// "can stream 12 tracks of Stereo 24 Bit", "marginal for ...", "cannot stream ...".
std::string verdictSentence(StreamVerdict verdict, uint32_t trackCount, const char* formatName);

// Every request of the readings is assumed to have moved requestSize bytes.
// The verdicts are for the given formats, or the report's four.
PassAnalysis analysePass(uint64_t startNs, const std::vector<uint64_t>& requestEndNs,
                         uint32_t trackCount, uint32_t requestSize,
                         const VerdictFormats& formats);
PassAnalysis analysePass(uint64_t startNs, const std::vector<uint64_t>& requestEndNs,
                         uint32_t trackCount, uint32_t requestSize);

// The margins and verdicts of every format for a slowest round of slowestNs.
void judgeFormats(PassAnalysis& analysis, uint64_t slowestNs);

// Rate over the precise span: bytes per second and bytes per millisecond
// (the report's "KBytes/Sec", 1 KByte = 1000 bytes); 0 for a span of 0.
double bytesPerSecond(uint64_t bytes, uint64_t elapsedNs);

// Labelled lines for the text output, each ending with a line break:
// the precise time and rate, rounds, latency and one line per format.
std::string formatAnalysisLines(const PassAnalysis& analysis);
// Just the lines of the formats' verdicts.
std::string formatVerdictLines(const PassAnalysis& analysis);

// The same figures for the JSON output; null when no round was timed.
nlohmann::json analysisJson(const PassAnalysis& analysis);
