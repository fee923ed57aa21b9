// trakmon capacity: the plan first, each trial on a terminal, then the
// answer in one sentence and a table of the trials.
#include "cli/capacity_command.h"

#include <cstdio>
#include <string>
#include <nlohmann/json.hpp>

#include "analysis/capacity_report.h"
#include "analysis/json_text.h"
#include "cli/exit_status.h"
#include "cli/failure_words.h"
#include "cli/session_commands.h"
#include "cli/terminal_line.h"
#include "cli/trial_line.h"
#include "platform/console.h"
#include "search/capacity_runs.h"

namespace {

struct CapacityScreen {
    bool json;
    TrialLine line;
};

// The plan, once the folder is made and the limit known.
void showPlan(void* context, const CapacitySetup& setup)
{
    const CapacityScreen& screen = *static_cast<CapacityScreen*>(context);
    printPlan(formatCapacityPlan(setup) + leftoversHint(setup.place.others), "capacity-plan",
              screen.json);
    if (setup.limit == 0)
        std::fprintf(stderr, "trakmon: not even one track fits: %s\n",
                     setup.limitReason == limitDiskSpace ? "too little free disk space"
                                                         : "the open-file limit is too low");
}

void printCapacityResult(const CapacityRun& run, bool json)
{
    const CapacitySetup& setup = run.setup;
    const CapacityVerdict& verdict = run.verdict;
    if (json) {
        nlohmann::json object = capacityJson(setup, verdict, run.search, run.trials, run.elapsedNs,
                                             platformArgumentToUtf8);
        object["completed"] = verdict.outcome != outcomeInterrupted && verdict.outcome != outcomeError;
        object["failure"] = failureJsonWithCause(run.failure);
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s\n\n", capacitySentence(setup, verdict).c_str());
        std::printf("%s", formatCapacityTable(run.trials).c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int runCapacityCommand(const SearchOptions& options)
{
    CapacityScreen screen{options.json, TrialLine{drawsProgress(options.json), "", ""}};
    CapacityWatch watch{&screen, showPlan, trialLineWatch(screen.line)};
    CapacityRun run = runCapacity(searchSettingsOf(options, false), watch);
    if (run.check.problem != settingsReady)
        return usageError("capacity", settingsProblemText(run.check, false));
    if (run.folder != folderReady) {
        std::fprintf(stderr, "trakmon: %s\n", folderProblemText(run.folder, run.setup.place, run.folderWhy).c_str());
        return exitFailure;
    }
    if (screen.line.draw) clearTerminalLine();
    reportTrialFailure(run.failure);
    if (run.folderLeft)
        std::fprintf(stderr,
                     "trakmon: the search's folder %s is left: it holds files the search did not "
                     "make\n",
                     run.setup.place.folder.c_str());
    if (run.interrupted)
        std::fprintf(stderr, "trakmon: capacity search interrupted; its track files are removed\n");
    printCapacityResult(run, options.json);
    return searchSucceeded(run.verdict.outcome, run.verdict.answer) ? exitSuccess : exitFailure;
}
