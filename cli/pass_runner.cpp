#include "cli/pass_runner.h"

#include "engine/disk_read.h"
#include "engine/disk_write.h"
#include "engine/settings.h"

PassOutputs passOutputs;

static std::vector<SvgChart> charts;
// The test that runs now; what it showed stays until the next begins.
static CliTest currentTest;

PassSeries newPassSeries(TestKind kind)
{
    PassSeries series;
    series.kind = kind;
    uint32_t requestSize =
        kind == writeTestKind ? TestSettings.writeRequestSize : TestSettings.readRequestSize;
    series.plan = planTest(TestSettings.trackCount, requestSize, TestSettings.transferBufferSize,
                           TestSettings.testDataBudget);
    return series;
}

TestOutcome runPass(PassSeries& series, const std::string& base, uint32_t passIndex,
                    bool showText)
{
    CliTestSummary summary;
    summary.kind = series.kind;
    summary.plan = series.plan;
    summary.baseFileName = base;
    summary.formats = passOutputs.formats;
    if (passOutputs.repeat > 1) {
        summary.passIndex = passIndex;
        summary.passCount = passOutputs.repeat;
    }
    beginCliTest(currentTest, base, passOutputs.drawProgressBar);
    FrontEnd frontEnd = cliFrontEnd(currentTest);
    summary.outcome =
        series.kind == writeTestKind ? runWriteTest(frontEnd) : runReadTest(frontEnd);
    const CliTestRecord& record = currentTest.record;
    summary.record = &record;

    if (passOutputs.json) {
        printJsonResults(summary);
    } else if (showText) {
        printTextResults(summary, !passOutputs.anyTextShown);
        passOutputs.anyTextShown = passOutputs.anyTextShown || record.resultsShown;
    }
    if (record.timings.requestEndNs.empty()) return summary.outcome;

    // A pass that ran keeps its requests, also one that a short transfer ended.
    if (passOutputs.log.file != nullptr)
        writeOutputFile(passOutputs.log,
                        requestLogLines(passIndex, series.kind, series.plan.trackCount,
                                        series.plan.requestSize, record.timings));
    series.plotted.push_back({passIndex, record.timings});
    if (summary.outcome == testCompleted)
        series.figures.push_back({analyseSummary(summary),
                                  transferRate(record.inputs.totalBytes, record.inputs.elapsedMs)});
    return summary.outcome;
}

RepeatSummary finishSeries(const PassSeries& series, const std::string& base, bool showSummary)
{
    RepeatSummary summary = summarisePasses(series.kind, series.figures);
    bool allCompleted = series.figures.size() == passOutputs.repeat;
    if (showSummary && passOutputs.repeat > 1 && allCompleted && summary.valid) {
        if (passOutputs.json)
            std::printf("%s\n", jsonLine(summaryJson(summary)).c_str());
        else
            std::printf("\n%s", formatSummaryLines(summary).c_str());
        std::fflush(stdout);
    }
    if (!passOutputs.plotPath.empty() && !series.plotted.empty()) {
        const TestPlan& plan = series.plan;
        char title[400];
        std::snprintf(title, sizeof title, "%s test, %u track(s) x %u KB requests, %s: round times",
                      series.kind == writeTestKind ? "Write" : "Read",
                      static_cast<unsigned>(plan.trackCount),
                      static_cast<unsigned>(plan.requestSize >> 10), base.c_str());
        // The budgets depend only on the request size and the formats.
        PassAnalysis budgets = analysePass(0, std::vector<uint64_t>(plan.trackCount, 1),
                                           plan.trackCount, plan.requestSize, passOutputs.formats);
        charts.push_back(roundChart(title, series.plotted, plan.trackCount, budgets));
    }
    return summary;
}

bool writePlot()
{
    if (passOutputs.plotPath.empty()) return true;
    OutputFile plot;
    if (!openOutputFile(plot, passOutputs.plotPath, "plot")) return false;
    writeOutputFile(plot, svgDocument(charts));
    return closeOutputFile(plot);
}
