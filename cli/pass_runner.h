// Runs the passes of the command line's tests and shows each as it ends:
// its report and extra lines (or JSON line), its requests in the log, and,
// when the passes of one test are over, their summary and their chart.
// Kept out of the library, like sweep_runner.cpp: it runs the real tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/pass_summary.h"
#include "analysis/round_record.h"
#include "cli/cli_output.h"
#include "cli/output_file.h"

// Chosen once from the options, before the first test.
struct PassOutputs {
    bool json = false;
    bool drawProgressBar = false;
    uint32_t repeat = 1;
    VerdictFormats formats = reportVerdictFormats();
    OutputFile log;        // the CSV, when one was asked for
    std::string plotPath;  // where the SVG goes, or empty
    bool anyTextShown = false;
};
extern PassOutputs passOutputs;

// The passes of one test (kind and plan) so far.
struct PassSeries {
    TestKind kind;
    TestPlan plan;
    std::vector<PassFigures> figures;
    std::vector<PlottedPass> plotted;
};

PassSeries newPassSeries(TestKind kind);

// One pass of the test with the settings as they stand, on base: shown as
// text (unless the sweep's table stands for it) or JSON, logged, kept in
// series. passIndex counts from 1 for the label of repeated passes.
TestOutcome runPass(PassSeries& series, const std::string& base, uint32_t passIndex,
                    bool showText);

// The summary of the passes (text or JSON; only for more than one pass and
// when all completed), also returned; and the series' chart for the plot.
RepeatSummary finishSeries(const PassSeries& series, const std::string& base, bool showSummary);

// Writes the charts of every finished series to the plot file, if one was
// asked for; false (with a message) when it cannot be written.
bool writePlot();
