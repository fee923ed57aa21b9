// Every request and every round of the passes, kept for a closer look than
// the summary lines give: a CSV line per request (--log) and a chart of the
// round times through each pass against the formats' budgets (--plot).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/audio_analysis.h"
#include "analysis/pass_timings.h"
#include "analysis/svg_chart.h"
#include "engine/results_report.h"

// The CSV's first line, and one line per request of a pass: the pass's
// number among the passes of its test, the test, the track count (together
// they name the pass; a sweep has tests of every track count), the request's
// round and track (1-based), its
// bytes, its completion since the start of the pass and its latency (since
// the request before it), both in microseconds with the clock's nanoseconds
// as three decimals, so that the latencies of a pass add up exactly to the
// completion time of its last request: the pass's precise time.
extern const char requestLogHeader[];
std::string requestLogLines(uint32_t pass, TestKind kind, uint32_t trackCount,
                            uint32_t requestSize, const PassTimings& timings);

struct PlottedPass {
    uint32_t number;  // among the passes of its test, as in the log
    PassTimings timings;
};

// Round time against the time through the pass (when the round ended), one
// series per pass, on a logarithmic time axis that holds the rounds of a few
// milliseconds and the budgets of seconds alike; a dashed line at the budget
// of every format of formats (an analysis of one of the passes) and the
// slowest round of all marked.
SvgChart roundChart(const std::string& title, const std::vector<PlottedPass>& passes,
                    uint32_t trackCount, const PassAnalysis& formats);
