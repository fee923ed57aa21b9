#include "cli/trial_line.h"

#include <cstdio>

#include "analysis/session_report.h"
#include "cli/session_commands.h"
#include "cli/terminal_line.h"

namespace {

TrialLine& lineOf(void* context)
{
    return *static_cast<TrialLine*>(context);
}

void trialStarting(void* context, uint32_t number, uint32_t record, uint32_t play)
{
    TrialLine& line = lineOf(context);
    char counts[96];
    std::snprintf(counts, sizeof counts, "%u recorded, %u played: ", static_cast<unsigned>(record),
                  static_cast<unsigned>(play));
    if (!line.prefix.empty())
        line.caption = line.prefix + counts;
    else if (number == 0)
        line.caption = std::string("take: ") + counts;
    else
        line.caption = "trial " + std::to_string(number) + ": " + counts;
}

void writingPlayback(void* context, uint32_t files)
{
    TrialLine& line = lineOf(context);
    if (line.draw)
        drawTerminalLine(line.caption + "writing " + std::to_string(files) + " playback files");
}

void sessionProgress(void* context, const SessionRun& run)
{
    TrialLine& line = lineOf(context);
    if (line.draw) drawSessionBar(run, line.caption);
}

void trialEnded(void* context, const SearchTrial& trial)
{
    TrialLine& line = lineOf(context);
    if (!line.draw) return;
    clearTerminalLine();
    std::fprintf(stderr, "%s%s: %s\n", line.caption.c_str(), trial.passed ? "pass" : "fail",
                 sessionVerdict(trial.summary).c_str());
}

}  // namespace

TrialWatch trialLineWatch(TrialLine& line)
{
    return TrialWatch{&line, trialStarting, writingPlayback, sessionProgress, trialEnded};
}
