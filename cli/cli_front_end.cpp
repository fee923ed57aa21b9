#include "cli/cli_front_end.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "cli/io_error_text.h"
#include "cli/terminal_line.h"

static const uint32_t terminalBarColumns = 40;
static const uint64_t barRedrawNs = 100000000;

// The terminal's own clock: when the bar was drawn, never a measurement.
static uint64_t terminalNowNs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

void beginCliTest(CliTest& test, const std::string& baseFileName, bool drawProgressBar)
{
    test.record = PassRecord();
    test.baseName = baseFileName;
    test.bar = TerminalBar();
    test.bar.enabled = drawProgressBar;
    if (drawProgressBar) prepareTerminalLine();
}

static CliTest& cliTest(void* context)
{
    return *static_cast<CliTest*>(context);
}

static const char* chooseBaseFile(void* context)
{
    const std::string& baseName = cliTest(context).baseName;
    if (baseName.empty() || baseName.size() >= pathBufferSize) return nullptr;
    return baseName.c_str();
}

static uint32_t filledColumns(const TerminalBar& bar)
{
    uint32_t filled = bar.scale.barWidth == 0
                          ? 0
                          : bar.columnsDone * terminalBarColumns / bar.scale.barWidth;
    return filled > terminalBarColumns ? terminalBarColumns : filled;
}

static void drawBar(TerminalBar& bar)
{
    uint32_t filled = filledColumns(bar);
    bar.drawnFilled = filled;
    bar.drawnNs = terminalNowNs();
    std::string line = "[" + std::string(filled, '#') +
                       std::string(terminalBarColumns - filled, '.') + "] " + bar.caption;
    drawTerminalLine(line);
}

static void openProgress(void* context, uint32_t stepCount)
{
    TerminalBar& bar = cliTest(context).bar;
    bar.scale = scaleProgress(stepCount);
    bar.stepCountdown = bar.scale.stepsPerTick;
    bar.columnsDone = 0;
    bar.open = true;
    bar.caption.clear();
    if (bar.enabled) drawBar(bar);
}

static void showProgressCaption(void* context, const char* text)
{
    TerminalBar& bar = cliTest(context).bar;
    bar.caption = text;
    if (bar.enabled) drawBar(bar);
}

static void advanceProgress(void* context)
{
    TerminalBar& bar = cliTest(context).bar;
    if (--bar.stepCountdown != 0) return;
    bar.columnsDone += bar.scale.pixelsPerTick;
    bar.stepCountdown = bar.scale.stepsPerTick;
    if (bar.enabled && filledColumns(bar) != bar.drawnFilled &&
        terminalNowNs() - bar.drawnNs >= barRedrawNs)
        drawBar(bar);
}

static void restartProgress(void* context)
{
    TerminalBar& bar = cliTest(context).bar;
    bar.columnsDone = 0;
    bar.stepCountdown = bar.scale.stepsPerTick;
    if (bar.enabled) drawBar(bar);
}

static void closeProgress(void* context)
{
    TerminalBar& bar = cliTest(context).bar;
    if (!bar.open) return;
    bar.open = false;
    if (bar.enabled) clearTerminalLine();
}

static void repaintMainWindow(void*) {}

static void showMessageBox(void* context, EngineMessage message, const char* text,
                           const char* caption, uint32_t)
{
    CliTest& test = cliTest(context);
    // Shown at once, as the box would be; a bar on the line is cleared first.
    if (test.bar.enabled && test.bar.open) clearTerminalLine();
    if (caption != nullptr) std::fprintf(stderr, "%s\n", caption);
    std::fprintf(stderr, "%s\n", text);
    // The free-space warning also stands for a volume that could not be
    // asked at all: then the reason follows.
    const char* freeSpaceFailure = freeSpaceQueryError();
    if (message == messageNotEnoughSpace && freeSpaceFailure != nullptr)
        std::fprintf(stderr, "trakmon: %s\n", freeSpaceFailure);
    std::fflush(stderr);
    test.record.messages.push_back(text);
}

static void showResultsBox(void* context, const ResultsInputs& inputs, const char* text,
                           const char* caption)
{
    PassRecord& record = cliTest(context).record;
    record.resultsShown = true;
    record.inputs = inputs;
    record.reportText = text;
    record.caption = caption;
}

// A track file's create, open, request or close that failed: named with
// its cause at once (after the test's message, where one comes first), and
// kept for the JSON.
static void noteFailure(void* context, TrackFileCall call, const char* trackFileName, IoStatus why)
{
    CliTest& test = cliTest(context);
    if (test.bar.enabled && test.bar.open) clearTerminalLine();
    std::fprintf(stderr, "trakmon: %s\n", trackFileFailureText(call, trackFileName, why).c_str());
    std::fflush(stderr);
    TrackFileFailure& failure = test.record.failure;
    if (!failure.noted) failure = TrackFileFailure{true, call, trackFileName, why};
}

static void notePlan(void* context, const TestPlan& plan)
{
    cliTest(context).record.plan = plan;
}

static void notePassReadings(void* context, const PassReadings& readings)
{
    PassTimings& timings = cliTest(context).record.timings;
    timings.startNs = readings.startNs;
    timings.requestEndNs.assign(readings.requestEndNs,
                                readings.requestEndNs + readings.requestCount);
}

FrontEnd cliFrontEnd(CliTest& test)
{
    FrontEnd frontEnd{};
    frontEnd.context = &test;
    frontEnd.trackNameRule = extensionInFileName;
    frontEnd.chooseWriteBaseFile = chooseBaseFile;
    frontEnd.chooseReadBaseFile = chooseBaseFile;
    frontEnd.openProgress = openProgress;
    frontEnd.showProgressCaption = showProgressCaption;
    frontEnd.advanceProgress = advanceProgress;
    frontEnd.restartProgress = restartProgress;
    frontEnd.closeProgress = closeProgress;
    frontEnd.repaintMainWindow = repaintMainWindow;
    frontEnd.showMessageBox = showMessageBox;
    frontEnd.showResultsBox = showResultsBox;
    frontEnd.noteTrackFileFailure = noteFailure;
    frontEnd.notePlan = notePlan;
    frontEnd.notePassReadings = notePassReadings;
    frontEnd.noteTransferFailure = noteFailure;
    return frontEnd;
}
