// trakmon capacity: the plan first, each trial on a terminal, then the
// answer in one sentence and a table of the trials.
#include <cstdio>
#include <string>

#include "analysis/capacity_report.h"
#include "analysis/json_text.h"
#include "cli/session_commands.h"
#include "search/capacity_runs.h"
#include "search/search_folder.h"
#include "cli/terminal_line.h"
#include "cli/trial_line.h"

namespace {

const int exitFound = 0;
const int exitFailed = 1;

void reportFailure(const TrialFailure& failure)
{
    if (!failure.any) return;
    if (failure.setup.status != setupReady)
        reportSetupFailure(failure.setup, failure.config);
    else if (failure.requestFailed)
        reportAbort(failure.readFailed, failure.file, failure.closeFailed, failure.writeBackFailed);
    else
        std::fprintf(stderr, "trakmon: %s: %s\n", failure.file.c_str(), failure.reason.c_str());
}

void printCapacityResult(const CapacitySetup& setup, const CapacityRun& run,
                         const CapacityVerdict& verdict, bool json)
{
    if (json) {
        nlohmann::json object = capacityJson(setup, verdict, run.search, run.trials, run.elapsedNs);
        object["completed"] = verdict.outcome != outcomeInterrupted && verdict.outcome != outcomeError;
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s\n\n", capacitySentence(setup, verdict).c_str());
        std::printf("%s", formatCapacityTable(run.trials).c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int runCapacityCommand(const SessionOptions& options)
{
    CapacityChoice choice;
    choice.session = sessionChoiceOf(options);
    parsePlayRatio(options.playRatio, choice.ratio);
    choice.headroomPercent = options.headroomPercent;
    choice.maxTracks = options.maxTracks;
    choice.repeat = options.repeat;
    choice.takeMinutes = options.takeMinutes;
    choice.removeLeftovers = options.removeLeftovers;
    choice.base = options.base;
    CapacitySetup setup{};
    std::string problem = capacitySetupFor(choice, setup);
    if (!problem.empty()) return usageError("capacity", problem);
    if (!openWatchedPlace(setup.place)) return exitFailed;
    limitCapacitySearch(setup, options.maxTracks);
    printPlan(formatCapacityPlan(setup), "capacity-plan", options.json);

    TrialLine line{drawsProgress(options), "", ""};
    if (setup.limit == 0)
        std::fprintf(stderr, "trakmon: not even one track fits: %s\n",
                     setup.limitReason == limitDiskSpace ? "too little free disk space"
                                                         : "the open-file limit is too low");
    CapacityRun run = runCapacity(setup, trialLineWatch(line));
    if (line.draw) clearTerminalLine();
    reportFailure(run.failure);
    if (run.folderLeft)
        std::fprintf(stderr,
                     "trakmon: the search's folder %s is left: it holds files the search did not "
                     "make\n",
                     setup.place.folder.c_str());
    stopWatchingPlace();
    if (run.interrupted)
        std::fprintf(stderr, "trakmon: capacity search interrupted; its track files are removed\n");
    SearchEnd end{};
    end.interrupted = run.interrupted;
    end.error = run.failure.any;
    end.undecidable = run.failure.undecidable;
    CapacityVerdict verdict =
        capacityVerdict(setup, run.search, end, CapacityTake{run.takeRan, run.take, run.freeBytesAfter});
    printCapacityResult(setup, run, verdict, options.json);
    return capacitySucceeded(verdict) ? exitFound : exitFailed;
}
