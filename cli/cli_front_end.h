// The command line's front end for the engine: the base file name comes from
// the arguments, messages go to stderr, the progress bar is drawn on a
// terminal, and every figure of a test is kept in its PassRecord for the output.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/front_end.h"
#include "engine/outcome.h"
#include "engine/plan.h"
#include "engine/progress_scale.h"
#include "engine/results_report.h"
#include "runs/pass_runs.h"

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

// One test of the command line: its base name, its bar and what it showed.
struct CliTest {
    std::string baseName;
    TerminalBar bar;
    PassRecord record;
};

// Arms test for one test on baseFileName.
void beginCliTest(CliTest& test, const std::string& baseFileName, bool drawProgressBar);
// The front end that runs test.
FrontEnd cliFrontEnd(CliTest& test);
