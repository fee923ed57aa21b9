#include "cli/cli_front_end.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cli/terminal_line.h"
#include "engine/front_end.h"
#include "platform/platform.h"
#include "progress/progress_scale.h"

char readDialogPath[pathBufferSize];
char writeDialogPath[pathBufferSize];

static CliTestRecord record;
static std::string baseName;

// The terminal bar follows the progress window's tick rule (a tick at most
// 300 times a pass), but a line on the terminal is a system call inside the
// timed span: it is drawn again only when its filled part has grown, and at
// most ten times a second.
struct TerminalBar {
    bool enabled = false;
    bool open = false;
    ProgressScale scale{};
    uint32_t stepCountdown = 0;
    uint32_t columnsDone = 0;
    uint32_t drawnFilled = 0;  // '#' characters on the line
    uint64_t drawnNs = 0;      // when it was drawn
    std::string caption;
};
static TerminalBar bar;
static const uint32_t terminalBarColumns = 40;
static const uint64_t barRedrawNs = 100000000;

uint64_t monotonicNanoseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void beginCliTest(const std::string& baseFileName, bool drawProgressBar)
{
    record = CliTestRecord();
    baseName = baseFileName;
    bar = TerminalBar();
    bar.enabled = drawProgressBar;
    if (drawProgressBar) prepareTerminalLine();
}

const CliTestRecord& currentCliTest()
{
    return record;
}

static bool chooseBaseFile(char* dialogPath)
{
    if (baseName.empty() || baseName.size() >= pathBufferSize) return false;
    std::memcpy(dialogPath, baseName.c_str(), baseName.size() + 1);
    return true;
}

bool chooseWriteBaseFile() { return chooseBaseFile(writeDialogPath); }
bool chooseReadBaseFile() { return chooseBaseFile(readDialogPath); }

static uint32_t filledColumns()
{
    uint32_t filled = bar.scale.barWidth == 0
                          ? 0
                          : bar.columnsDone * terminalBarColumns / bar.scale.barWidth;
    return filled > terminalBarColumns ? terminalBarColumns : filled;
}

static void drawBar()
{
    uint32_t filled = filledColumns();
    bar.drawnFilled = filled;
    bar.drawnNs = monotonicNanoseconds();
    std::string line = "[" + std::string(filled, '#') +
                       std::string(terminalBarColumns - filled, '.') + "] " + bar.caption;
    drawTerminalLine(line);
}

void openProgress(uint32_t stepCount)
{
    // Room for every reading of a pass, allocated before the timed span.
    record.timings.requestEndNs.clear();
    record.timings.requestEndNs.reserve(stepCount);
    bar.scale = scaleProgress(stepCount);
    bar.stepCountdown = bar.scale.stepsPerTick;
    bar.columnsDone = 0;
    bar.open = true;
    if (bar.enabled) drawBar();
    record.timings.startNs = monotonicNanoseconds();
}

void showProgressCaption(const char* text)
{
    bar.caption = text;
    if (bar.enabled) drawBar();
    record.timings.startNs = monotonicNanoseconds();
}

void advanceProgress()
{
    uint64_t now = monotonicNanoseconds();
    record.timings.requestEndNs.push_back(now);
    if (--bar.stepCountdown != 0) return;
    bar.columnsDone += bar.scale.pixelsPerTick;
    bar.stepCountdown = bar.scale.stepsPerTick;
    if (bar.enabled && now - bar.drawnNs >= barRedrawNs && filledColumns() != bar.drawnFilled)
        drawBar();
}

void restartProgress()
{
    bar.columnsDone = 0;
    bar.stepCountdown = bar.scale.stepsPerTick;
    if (bar.enabled) drawBar();
    record.timings.requestEndNs.clear();
    record.timings.startNs = monotonicNanoseconds();
}

void closeProgress()
{
    if (!bar.open) return;
    bar.open = false;
    if (bar.enabled) clearTerminalLine();
}

void repaintMainWindow() {}

void showMessageBox(const char* text, const char* caption, uint32_t)
{
    // Shown at once, as the box would be; a bar on the line is cleared first.
    if (bar.enabled && bar.open) clearTerminalLine();
    if (caption != nullptr) std::fprintf(stderr, "%s\n", caption);
    std::fprintf(stderr, "%s\n", text);
    // The free-space warning also stands for a volume that could not be
    // asked at all: then the reason follows.
    const char* freeSpaceFailure = platformFreeBytesError();
    if (caption != nullptr && std::strcmp(caption, "WARNING") == 0 && freeSpaceFailure != nullptr)
        std::fprintf(stderr, "trakmon: %s\n", freeSpaceFailure);
    std::fflush(stderr);
    record.messages.push_back(text);
}

void showResultsBox(const ResultsInputs& inputs, const char* text, const char* caption)
{
    record.resultsShown = true;
    record.inputs = inputs;
    record.reportText = text;
    record.caption = caption;
}

void noteTrackFileFailure(const char* trackFileName, const char* reason)
{
    std::fprintf(stderr, "trakmon: %s: %s\n", trackFileName, reason);
}
