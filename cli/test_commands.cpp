#include "cli/test_commands.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <vector>
#include <nlohmann/json.hpp>

#include "session/sample_format.h"
#include "analysis/sweep.h"
#include "cli/cli_checks.h"
#include "cli/cli_front_end.h"
#include "cli/cli_output.h"
#include "cli/exit_status.h"
#include "cli/output_file.h"
#include "platform/console.h"
#include "runs/pass_runs.h"

namespace {

const uint32_t maxRepeat = 100;
// The request sizes as the options give them, in KBytes.
const uint32_t requestKBytesChoices[requestSizeChoiceCount] = {32, 64, 128, 256, 512};

// Chosen once from the options, before the first test.
struct TestOutputs {
    bool json = false;
    bool sweep = false;    // the sweep's table stands for each pass's report
    uint32_t repeat = 1;
    std::string base;
    OutputFile log;        // the CSV, when one was asked for
    std::string plotPath;  // where the SVG goes, or empty
    std::vector<SvgChart> charts;
    bool anyTextShown = false;
};

// A pass as it ends: its report and extra lines (or JSON line), its
// requests in the log.
void showPass(void* context, const PassSeries& series, const PassRecord& record, uint32_t passIndex)
{
    TestOutputs& outputs = *static_cast<TestOutputs*>(context);
    CliTestSummary summary;
    summary.kind = series.kind;
    summary.outcome = record.outcome;
    summary.plan = series.plan;
    summary.baseFileName = outputs.base;
    summary.formats = series.formats;
    summary.record = &record;
    if (outputs.repeat > 1) {
        summary.passIndex = passIndex;
        summary.passCount = outputs.repeat;
    }
    if (outputs.json) {
        printJsonResults(summary);
    } else if (!outputs.sweep) {
        printTextResults(summary, !outputs.anyTextShown);
        outputs.anyTextShown = outputs.anyTextShown || record.resultsShown;
    }
    if (!record.timings.requestEndNs.empty() && outputs.log.file != nullptr)
        writeOutputFile(outputs.log, requestLogLines(passIndex, series.kind, series.plan.trackCount,
                                                     series.plan.requestSize, record.timings));
}

// The summary of repeated passes (the sweep's only as JSON, its table
// standing for it), and the series' chart for the plot.
void showSeries(void* context, const PassSeries& series, const RepeatSummary& summary)
{
    TestOutputs& outputs = *static_cast<TestOutputs*>(context);
    bool allCompleted = series.figures.size() == series.passCount;
    if ((outputs.json || !outputs.sweep) && outputs.repeat > 1 && allCompleted && summary.valid) {
        if (outputs.json)
            std::printf("%s\n", jsonLine(summaryJson(summary)).c_str());
        else
            std::printf("\n%s", formatSummaryLines(summary).c_str());
        std::fflush(stdout);
    }
    if (!outputs.plotPath.empty() && !series.plotted.empty())
        outputs.charts.push_back(seriesChart(series, outputs.base));
}

// The names that the log and the plot must not take: a track file, the
// other output.
std::string outputClash(const TestOptions& options, const std::string& path)
{
    if (path.empty()) return "";
    if (path == options.log && path == options.plot) return "the log and the plot are one file";
    char name[trackFileNameSize];
    for (uint32_t number = 1; number <= maxTrackFiles; ++number) {
        formatTrackName(name, sizeof name, options.base.c_str(), number, extensionInFileName);
        if (path == name) return std::string("it is track file ") + name;
    }
    return "";
}

// Opens the log (header written) and makes sure the plot can be written,
// before any track file is touched.
bool openOutputs(const TestOptions& options, TestOutputs& outputs)
{
    for (const std::string* path : {&options.log, &options.plot}) {
        std::string clash = outputClash(options, *path);
        if (clash.empty()) continue;
        std::fprintf(stderr, "trakmon: cannot write %s: %s\n", path->c_str(), clash.c_str());
        return false;
    }
    if (!options.log.empty()) {
        if (!openOutputFile(outputs.log, options.log, "log")) return false;
        writeOutputFile(outputs.log, requestLogHeader);
    }
    if (!options.plot.empty()) {
        OutputFile plot;
        if (!openOutputFile(plot, options.plot, "plot") || !closeOutputFile(plot)) return false;
        outputs.plotPath = options.plot;
    }
    return true;
}

// The disk space the sweep needs, as text or a JSON line; false (with a
// message) when a track count would not fit.
bool showSweepNeed(const SweepSpace& space, bool json)
{
    SweepDiskNeed need = sweepDiskNeed(trackCountChoices, trackCountChoiceCount);
    if (json) {
        nlohmann::json object = sweepNeedJson(need);
        object["freeBytesNow"] = space.freeNow;
        object["firstTrackCountShortOfSpace"] =
            space.shortAt == 0 ? nlohmann::json() : nlohmann::json(space.shortAt);
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s", formatSweepNeed(need).c_str());
    }
    std::fflush(stdout);
    if (space.shortAt == 0) return true;
    std::fprintf(stderr,
                 "trakmon: not enough disk space for the sweep: %llu bytes free, the test "
                 "with %u track(s) would not fit\n",
                 static_cast<unsigned long long>(space.freeNow),
                 static_cast<unsigned>(space.shortAt));
    return false;
}

// The sweep's table, as text or a JSON line.
void showSweepTable(const SweepResult& sweep, uint32_t requestSize, const VerdictFormats& formats,
                    const TestOutputs& outputs)
{
    if (sweep.stopReason != nullptr)
        std::fprintf(stderr, "trakmon: sweep stopped after %u track(s): the larger track "
                             "counts would fail on %s\n",
                     static_cast<unsigned>(sweep.rows.back().trackCount), sweep.stopReason);
    if (outputs.json) {
        nlohmann::json table = sweepJson(sweep.rows, requestSize, formats);
        table["passesPerTest"] = outputs.repeat;
        std::printf("%s\n", jsonLine(table).c_str());
    } else {
        std::printf("\n%s", formatSweepTable(sweep.rows, requestSize, formats).c_str());
        if (outputs.repeat > 1)
            std::printf("Rates: the median of %u passes of each test; verdicts: the slowest "
                        "round of all of them.\n",
                        static_cast<unsigned>(outputs.repeat));
    }
    std::fflush(stdout);
}

// The plot of every series, if one was asked for; false (with a message)
// when it cannot be written.
bool writePlot(const TestOutputs& outputs)
{
    if (outputs.plotPath.empty()) return true;
    OutputFile plot;
    if (!openOutputFile(plot, outputs.plotPath, "plot")) return false;
    writeOutputFile(plot, svgDocument(outputs.charts));
    return closeOutputFile(plot);
}

}  // namespace

void addTestOptions(CLI::App* command, TestOptions& options, bool separateRequests)
{
    CLI::Validator requestSizes =
        choiceValidator(requestKBytesChoices, requestSizeChoiceCount, "request size in KBytes");
    command->add_option("--tracks", options.tracks, "track files written or read at once")
        ->check(choiceValidator(trackCountChoices, trackCountChoiceCount, "track count"))
        ->default_val(defaultTrackCount);
    if (separateRequests) {
        command->add_option("--write-request", options.writeRequestKBytes,
                            "write request size in KBytes")
            ->check(requestSizes)
            ->default_val(defaultRequestSize >> 10);
        command->add_option("--read-request", options.readRequestKBytes,
                            "read request size in KBytes")
            ->check(requestSizes)
            ->default_val(defaultRequestSize >> 10);
    } else {
        command->add_option("--request", options.requestKBytes, "request size in KBytes")
            ->check(requestSizes)
            ->default_val(defaultRequestSize >> 10);
    }
    command->add_flag("--json", options.json, "one JSON object per test instead of the report");
    command
        ->add_option("--repeat", options.repeat,
                     "passes of each test, each reported in full, then a summary: median, "
                     "minimum and maximum rate, verdicts on the slowest round of all passes. "
                     "One pass is a lottery on a busy disk: quote the median of 5 or more")
        ->check(wholeRangeValidator(1, maxRepeat, "repeat count"))
        ->default_val(1);
    command
        ->add_option("--rate", options.rate,
                     "judge the verdicts at this sample rate (mono and stereo) instead of the "
                     "report's four 44.1 kHz formats; the report stays as it is")
        ->check(choiceValidator(sampleRateChoices, sampleRateChoiceCount, "sample rate"));
    command
        ->add_option("--bits", options.bits,
                     "judge the verdicts at this word length (mono and stereo; without it 16 "
                     "and 24)")
        ->check(choiceValidator(sampleBitsChoices, sampleBitsChoiceCount, "bits per sample"));
    command
        ->add_option("--log", options.log,
                     "write one CSV line per request: pass, test, tracks, round, track, bytes, "
                     "completion and latency in microseconds")
        ->check(outputFileValidator("FILE.csv", "log"));
    command
        ->add_option("--plot", options.plot,
                     "draw every round's time through every pass against each format's budget, "
                     "as an SVG picture that a browser opens")
        ->check(outputFileValidator("FILE.svg", "plot"));
    addBaseArgument(command, options.base);
}

int runTestCommand(TestCommand command, const TestOptions& options)
{
    TestSettings.trackCount = options.tracks;
    bool separate = command == runCommand;
    TestSettings.writeRequestSize = (separate ? options.writeRequestKBytes : options.requestKBytes) << 10;
    TestSettings.readRequestSize = (separate ? options.readRequestKBytes : options.requestKBytes) << 10;

    TestOutputs outputs;
    outputs.json = options.json;
    outputs.sweep = command == sweepCommand;
    outputs.repeat = options.repeat;
    outputs.base = options.base;
    if (!openOutputs(options, outputs)) return exitUsage;
    VerdictFormats formats = chosenVerdictFormats(options.rate, options.bits);

    CliTest test;
    beginCliTest(test, options.base, !options.json && platformStandardErrorIsTerminal());
    PassFrontEnd frontEnd{cliFrontEnd(test), &test.record, &outputs, showPass, showSeries};

    int status = exitSuccess;
    if (!openTransferBuffers()) {
        std::fprintf(stderr, "Memory Allocation Error!\n");
        status = exitFailure;
    } else if (command == sweepCommand) {
        uint32_t requestSize = options.requestKBytes << 10;
        if (!showSweepNeed(sweepSpace(options.base), options.json)) {
            status = exitFailure;
        } else {
            SweepResult sweep = runSweep(requestSize, options.repeat, formats, frontEnd);
            showSweepTable(sweep, requestSize, formats, outputs);
            if (!sweep.allCompleted) status = exitFailure;
        }
    } else {
        PassSeries writes = newPassSeries(writeTestKind, options.repeat, formats);
        PassSeries reads = newPassSeries(readTestKind, options.repeat, formats);
        if (!runTestPasses(command == readCommand ? nullptr : &writes,
                           command == writeCommand ? nullptr : &reads, frontEnd))
            status = exitFailure;
    }
    if (!writePlot(outputs)) status = exitFailure;
    if (!closeOutputFile(outputs.log)) status = exitFailure;
    closeTransferBuffers();
    return status;
}
