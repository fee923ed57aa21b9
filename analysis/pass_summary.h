// Repeated passes of one test summed up. One pass is a lottery on a noisy
// disk (the same pass can take from 0.55 to 1.6 times its median), so the
// figure to quote is the median of five or more passes, and the verdicts are
// judged on the slowest round that any pass met.
//
// Medians are nearest-rank, as every percentile here: the lower middle value
// of an even count, so the median is always the figure of one of the passes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "analysis/audio_analysis.h"

// What the summary needs of one completed pass.
struct PassFigures {
    PassAnalysis analysis;
    uint32_t reportRate;  // the report's Actual Transfer Rate, KBytes/Sec
};

struct RepeatSummary {
    bool valid;  // every pass was analysed
    TestKind kind;
    uint32_t passCount;
    uint32_t medianPass;  // 1-based: the pass whose precise rate is the median
    double preciseMedian, preciseMin, preciseMax;  // bytes per second
    uint32_t reportMedian, reportMin, reportMax;   // KBytes/Sec
    uint32_t slowestPass;                          // 1-based: the pass of the slowest round
    // The median pass's analysis with the slowest round (and the largest 99th
    // percentile round) of all passes, and every format judged on that round.
    PassAnalysis verdicts;
};

RepeatSummary summarisePasses(TestKind kind, const std::vector<PassFigures>& passes);

// "Summary of 5 write passes ..." and its lines, each ending with a line break.
std::string formatSummaryLines(const RepeatSummary& summary);
// {"test": "write-summary", "passes": 5, ...}; null when not valid.
nlohmann::json summaryJson(const RepeatSummary& summary);
