#include "cli/table_command.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "analysis/json_text.h"
#include "analysis/number_text.h"
#include "analysis/table_report.h"
#include "cli/exit_status.h"
#include "cli/failure_words.h"
#include "cli/output_file.h"
#include "cli/session_commands.h"
#include "cli/terminal_line.h"
#include "cli/trial_line.h"
#include "platform/console.h"
#include "search/table_runs.h"

namespace {

struct TableScreen {
    bool json;
    TrialLine line;
};

void showPlan(void* context, const TableSetup& setup)
{
    const TableScreen& screen = *static_cast<TableScreen*>(context);
    printPlan(formatTablePlan(setup) + leftoversHint(setup.place.others), "table-plan", screen.json);
}

void tableProgress(void* context, const TableProgress& progress)
{
    TrialLine& line = static_cast<TableScreen*>(context)->line;
    char where[200];
    if (progress.cell == 0)
        std::snprintf(where, sizeof where, "measuring the disk at %u KByte requests; %s left",
                      static_cast<unsigned>(progress.requestSize >> 10),
                      durationText(progress.nsLeft / 1e9).c_str());
    else
        std::snprintf(where, sizeof where, "cell %u of %u, %s, %s: trial %u; %s left: ",
                      static_cast<unsigned>(progress.cell), static_cast<unsigned>(progress.cells),
                      sampleFormatLabel(progress.current->format).c_str(),
                      searchModeText(progress.current->mode).c_str(),
                      static_cast<unsigned>(progress.trial),
                      durationText(progress.nsLeft / 1e9).c_str());
    line.prefix = where;
    if (line.draw && progress.cell == 0) drawTerminalLine(line.prefix);
}

// The date the table begins, for its header.
std::string utcNow()
{
    std::time_t now = std::time(nullptr);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    return text;
}

bool allConfirmed(const TableRun& run)
{
    if (run.interrupted || run.stop != tableNotStopped) return false;
    for (const TableCell& cell : run.cells) {
        CellVerdict verdict = cellVerdict(run.setup, cell);
        if (!searchSucceeded(verdict.outcome, verdict.answer)) return false;
    }
    return true;
}

// What stopped the table, when something did.
void reportStop(const TableRun& run)
{
    switch (run.stop) {
    case tableNotStopped:
        break;
    case tableNoTrackFits:
        std::fprintf(stderr, "trakmon: not even one track fits: %s\n",
                     run.setup.limitReason == limitDiskSpace ? "too little free disk space"
                                                             : "the open-file limit is too low");
        break;
    case tableDrainUnmeasurable:
        std::fprintf(stderr,
                     "trakmon: through the file cache a trial counts only once the disk has drained "
                     "it, and this storage has no device counter to tell that by: use --cache "
                     "bypass\n");
        break;
    case tableTrialFailed:
        reportTrialFailure(run.failure);
        break;
    }
}

}  // namespace

int runTableCommand(const SearchOptions& options)
{
    if (!options.plotPath.empty()) {
        // Checked before the table's long run, not after it.
        OutputFile plot;
        if (!openOutputFile(plot, options.plotPath, "plot") || !closeOutputFile(plot)) return exitUsage;
    }
    TableScreen screen{options.json, TrialLine{drawsProgress(options.json), "", ""}};
    TableWatch watch{&screen, showPlan, tableProgress, trialLineWatch(screen.line)};
    SearchSettings settings = searchSettingsOf(options, true);
    TableRun run = runTable(settings, utcNow(), watch);
    if (run.check.problem != settingsReady)
        return usageError("table", settingsProblemText(run.check, settings.formats.size() > 1));
    if (run.folder != folderReady) {
        std::fprintf(stderr, "trakmon: %s\n", folderProblemText(run.folder, run.setup.place, run.folderWhy).c_str());
        return exitFailure;
    }
    if (screen.line.draw) clearTerminalLine();
    if (run.interrupted) std::fprintf(stderr, "trakmon: table interrupted; its files are removed\n");
    reportStop(run);
    if (run.folderLeft)
        std::fprintf(stderr, "trakmon: the table's folder %s is left: it holds files the table did "
                             "not make\n",
                     run.setup.place.folder.c_str());

    if (options.json) {
        nlohmann::json object = tableJson(run.setup, run, platformArgumentToUtf8);
        object["failure"] = failureJsonWithCause(run.failure);
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s", formatTable(run.setup, run).c_str());
    }
    std::fflush(stdout);
    bool written = true;
    if (!options.plotPath.empty()) {
        OutputFile plot;
        written = openOutputFile(plot, options.plotPath, "plot");
        writeOutputFile(plot, svgBarChartDocument(tableChart(run.setup, run)));
        written = closeOutputFile(plot) && written;
    }
    return allConfirmed(run) && written ? exitSuccess : exitFailure;
}
