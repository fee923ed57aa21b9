// Repeated passes of the write and the read test, and the sweep over every
// track count, for any front end. Each pass runs through the front end's
// FrontEnd, which keeps what the engine hands out in a PassRecord; a series
// keeps the figures of its passes for their summary and their chart.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/audio_analysis.h"
#include "analysis/pass_summary.h"
#include "analysis/pass_timings.h"
#include "analysis/round_record.h"
#include "analysis/svg_chart.h"
#include "analysis/sweep.h"
#include "engine/front_end.h"
#include "engine/outcome.h"
#include "engine/plan.h"
#include "engine/results_report.h"

// A track file that failed, as the engine noted it.
struct TrackFileFailure {
    bool noted = false;
    TrackFileCall call = createCall;
    std::string file;
    IoStatus why = {ioNoError, 0};
};

// What the engine handed out during one pass.
struct PassRecord {
    TestPlan plan{};  // the engine's, once it accepted the test
    TestOutcome outcome = testCompleted;
    bool resultsShown = false;
    ResultsInputs inputs{};
    std::string reportText;
    std::string caption;
    std::vector<std::string> messages;  // message box texts, in order
    PassTimings timings;
    TrackFileFailure failure;  // the first noted, if any
};

// The passes of one test so far.
struct PassSeries {
    TestKind kind;
    TestPlan plan;  // as the engine planned the last pass
    VerdictFormats formats;  // judged in each pass's analysis
    uint32_t passCount;      // asked for
    std::vector<PassFigures> figures;  // of the completed passes
    std::vector<PlottedPass> plotted;  // of every pass that ran
};

// How the passes meet the front end: the engine's front end, which fills
// record during each pass, and who is told as each pass and each series ends.
struct PassFrontEnd {
    FrontEnd engine;
    PassRecord* record;
    void* context;
    void (*passEnded)(void* context, const PassSeries& series, const PassRecord& record,
                      uint32_t passIndex);
    // The summary of a series whose passes are over.
    void (*seriesEnded)(void* context, const PassSeries& series, const RepeatSummary& summary);
};

// The two transfer buffers of the tests (engine/settings.h), for a front
// end that has no start-up of its own to make them; false when there is no
// memory for them.
bool openTransferBuffers();
void closeTransferBuffers();

PassSeries newPassSeries(TestKind kind, uint32_t passCount, const VerdictFormats& formats);
// A pass's per-request analysis; not valid unless its results were shown.
PassAnalysis analysePassRecord(const PassSeries& series, const PassRecord& record);

// One pass of the series' test with the settings as they stand.
TestOutcome runSeriesPass(PassSeries& series, const PassFrontEnd& frontEnd, uint32_t passIndex);
// passCount passes of the write test, the read test, or both in turn (a
// read after each write); stops at the first test that does not complete.
// Then the series end. True when every test completed.
bool runTestPasses(PassSeries* writes, PassSeries* reads, const PassFrontEnd& frontEnd);
// The summary of a series, told to the front end.
RepeatSummary endSeries(const PassSeries& series, const PassFrontEnd& frontEnd);
// The round times of every pass of the series against the budgets.
SvgChart seriesChart(const PassSeries& series, const std::string& base);

// The free space on base's volume now, and the first track count that
// would find too little of it.
struct SweepSpace {
    uint64_t freeNow = 0;
    uint32_t shortAt = 0;  // 0: every count fits, or nothing is known in advance
};
SweepSpace sweepSpace(const std::string& base);

struct SweepResult {
    std::vector<SweepRow> rows;
    bool allCompleted;
    // Why the sweep stopped before the largest count, null when it did not:
    // the larger counts would fail on the same file or the same query.
    const char* stopReason;
};
// The write and the read test of every track count in turn, passCount
// passes each, with one request size.
SweepResult runSweep(uint32_t requestSize, uint32_t passCount, const VerdictFormats& formats,
                     const PassFrontEnd& frontEnd);
