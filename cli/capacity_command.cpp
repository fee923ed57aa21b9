// trakmon capacity: the plan first, each trial on a terminal, then the
// answer in one sentence and a table of the trials.
#include <cstdio>
#include <string>

#include "analysis/capacity.h"
#include "analysis/json_text.h"
#include "cli/session_commands.h"
#include "runs/capacity_runs.h"
#include "runs/search_folder.h"
#include "cli/terminal_line.h"
#include "platform/console.h"

namespace {

const int exitFound = 0;
const int exitFailed = 1;

// The terminal's side of a search: the caption of the trial under way.
struct SearchLine {
    bool draw;
    std::string caption;
};

void trialStarting(void* context, uint32_t number, uint32_t count, uint32_t plays)
{
    SearchLine& line = *static_cast<SearchLine*>(context);
    char caption[96];
    if (number == 0)
        std::snprintf(caption, sizeof caption, "take: %u recorded, %u played: ",
                      static_cast<unsigned>(count), static_cast<unsigned>(plays));
    else
        std::snprintf(caption, sizeof caption, "trial %u: %u recorded, %u played: ",
                      static_cast<unsigned>(number), static_cast<unsigned>(count),
                      static_cast<unsigned>(plays));
    line.caption = caption;
}

void writingPlayback(void* context, uint32_t)
{
    SearchLine& line = *static_cast<SearchLine*>(context);
    if (line.draw) drawTerminalLine(line.caption + "writing the playback files");
}

void sessionProgress(void* context, const SessionRun& run)
{
    SearchLine& line = *static_cast<SearchLine*>(context);
    if (line.draw) drawSessionBar(run, line.caption);
}

void trialEnded(void* context, const CapacityTrial& trial)
{
    SearchLine& line = *static_cast<SearchLine*>(context);
    if (!line.draw) return;
    clearTerminalLine();
    std::fprintf(stderr, "%s%s: %s\n", line.caption.c_str(), trial.passed ? "pass" : "fail",
                 sessionVerdict(trial.summary).c_str());
}

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
        nlohmann::json object = capacityJson(setup, verdict, run.search, run.trials);
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
    // Heard from before the folder exists to after it is gone: an interrupt
    // ends the trial under way, a second one ends the process, removing the
    // folder's files on its way out.
    platformWatchInterrupts();
    if (!makeSearchFolder(setup.place, problem)) {
        platformStopWatchingInterrupts();
        std::fprintf(stderr, "trakmon: %s\n", problem.c_str());
        return exitFailed;
    }
    platformSetInterruptCleanupFolder(setup.place.folder);
    limitCapacitySearch(setup, options.maxTracks);
    std::string plan = formatCapacityPlan(setup);
    if (options.json)
        std::printf("%s\n", jsonLine({{"test", "capacity-plan"}, {"text", plan}}).c_str());
    else
        std::printf("%s\n", plan.c_str());
    std::fflush(stdout);

    SearchLine line{drawsProgress(options), ""};
    if (setup.limit == 0)
        std::fprintf(stderr, "trakmon: not even one track fits: %s\n",
                     setup.limitReason == limitDiskSpace ? "too little free disk space"
                                                         : "the open-file limit is too low");
    CapacityRun run = runCapacity(
        setup, TrialWatch{&line, trialStarting, writingPlayback, sessionProgress, trialEnded});
    if (line.draw) clearTerminalLine();
    reportFailure(run.failure);
    if (run.folderLeft)
        std::fprintf(stderr,
                     "trakmon: the search's folder %s is left: it holds files the search did not "
                     "make\n",
                     setup.place.folder.c_str());
    platformSetInterruptCleanupFolder("");
    platformStopWatchingInterrupts();
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
