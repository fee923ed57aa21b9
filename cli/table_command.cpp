// trakmon table: the plan first, the cell and trial under way on a
// terminal, then the table (or its JSON) and, with --plot, its picture.
#include "cli/table_command.h"

#include <cstdio>
#include <ctime>
#include <sstream>

#include "analysis/table_report.h"
#include "analysis/json_text.h"
#include "analysis/number_text.h"
#include "session/sample_format.h"
#include "cli/cli_checks.h"
#include "cli/output_file.h"
#include "cli/session_commands.h"
#include "cli/terminal_line.h"
#include "cli/trial_line.h"
#include "platform/console.h"
#include "search/search_folder.h"
#include "search/table_runs.h"

namespace {

const int exitConfirmed = 0;
const int exitFailed = 1;
const int exitUsage = 2;

std::vector<std::string> listItems(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) items.push_back(item);
    return items;
}

// "48000/24" or "96000/24/stereo": a format, or false.
bool parseFormat(const std::string& text, SampleFormat& format)
{
    std::vector<std::string> parts;
    std::stringstream fields(text);
    for (std::string part; std::getline(fields, part, '/');) parts.push_back(part);
    if (parts.size() < 2 || parts.size() > 3) return false;
    format.channels = 1;
    if (parts.size() == 3) {
        if (parts[2] == "stereo") format.channels = 2;
        else if (parts[2] != "mono") return false;
    }
    return parseWholeNumber(parts[0], 6, format.rate) && isSampleRateChoice(format.rate) &&
           parseWholeNumber(parts[1], 2, format.bits) && isSampleBitsChoice(format.bits);
}

// "record", "play" or "R:P": a mode, or false.
bool parseMode(const std::string& text, CellMode& mode)
{
    if (text == "record") mode = CellMode{1, 0};
    else if (text == "play") mode = CellMode{0, 1};
    else {
        size_t colon = text.find(':');
        if (colon == std::string::npos ||
            !parseWholeNumber(text.substr(0, colon), 3, mode.record) ||
            !parseWholeNumber(text.substr(colon + 1), 3, mode.play) || mode.record + mode.play == 0)
            return false;
    }
    return true;
}

template <typename Item>
CLI::Validator listValidator(bool (*parse)(const std::string&, Item&), const std::string& what,
                             const std::string& shape)
{
    return CLI::Validator(
        [=](const std::string& text) {
            std::vector<std::string> items = listItems(text);
            Item item;
            if (items.empty() || items.size() > 8) return what + " must be 1 to 8 items (got '" + text + "')";
            for (const std::string& one : items)
                if (!parse(one, item)) return what + " must be " + shape + " (got '" + one + "')";
            return std::string();
        },
        "LIST", what);
}

void tableProgress(void* context, const TableProgress& progress)
{
    TrialLine& line = *static_cast<TrialLine*>(context);
    char where[200];
    if (progress.cell == 0)
        std::snprintf(where, sizeof where, "measuring the disk at %u KByte requests; %s left",
                      static_cast<unsigned>(progress.requestSize >> 10),
                      durationText(progress.nsLeft / 1e9).c_str());
    else
        std::snprintf(where, sizeof where, "cell %u of %u, %s, %s: trial %u; %s left: ",
                      static_cast<unsigned>(progress.cell), static_cast<unsigned>(progress.cells),
                      sampleFormatLabel(progress.current->format).c_str(),
                      cellModeText(progress.current->mode).c_str(),
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

bool allConfirmed(const TableSetup& setup, const TableRun& run)
{
    if (run.interrupted || !run.failure.empty()) return false;
    for (const TableCell& cell : run.cells) {
        CellVerdict verdict = cellVerdict(setup, cell);
        if (verdict.outcome != outcomeFound &&
            !(verdict.outcome == outcomeAtLeast && verdict.answer.tracks == verdict.answer.limit))
            return false;
    }
    return true;
}

// The formats, modes and settings the options choose.
TableChoice tableChoiceOf(const TableOptions& options)
{
    TableChoice choice;
    for (const std::string& item : listItems(options.formats)) {
        SampleFormat format{};
        parseFormat(item, format);
        choice.formats.push_back(format);
    }
    for (const std::string& item : listItems(options.modes)) {
        CellMode mode{};
        parseMode(item, mode);
        choice.modes.push_back(mode);
    }
    choice.caching = options.cache == "os" ? throughFileCache : bypassFileCache;
    choice.bufferSeconds = options.bufferSeconds;
    choice.headroomPercent = options.headroomPercent;
    choice.seconds = options.seconds;
    choice.requestKBytes = options.requestKBytes;
    choice.repeat = options.repeat;
    choice.maxTracks = options.maxTracks;
    choice.removeLeftovers = options.removeLeftovers;
    choice.base = options.base;
    choice.date = utcNow();
    return choice;
}

}  // namespace

CLI::App* addTableCommand(CLI::App& app, TableOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "table",
        "for every format and mode of a list, the most tracks this disk carries for a whole take, "
        "predicted from its time per request and confirmed in real-time trials like capacity's; "
        "states the time and disk space first; makes every file in a new folder beside BASE and "
        "removes it at the end");
    command->add_option("--formats", options.formats,
                        "RATE/BITS[/mono|stereo] items, comma-separated")
        ->check(listValidator<SampleFormat>(parseFormat, "formats",
                                            "RATE/BITS[/mono|stereo], e.g. 48000/24"))
        ->default_val(options.formats);
    command->add_option("--modes", options.modes,
                        "record, play, or RECORDED:PLAYED for overdubs, comma-separated")
        ->check(listValidator<CellMode>(parseMode, "modes", "record, play or RECORDED:PLAYED"))
        ->default_val(options.modes);
    command->add_option("--cache", options.cache,
                        "bypass: the file cache bypassed, the disk itself; os: through the file "
                        "cache, as most recorders write")
        ->check(CLI::IsMember({"bypass", "os"}))
        ->default_val(options.cache);
    command->add_option("--buffer", options.bufferSeconds, "seconds of audio each track's buffer holds")
        ->check(CLI::Range(0.5, 60.0))
        ->default_val(options.bufferSeconds);
    command->add_option("--headroom", options.headroomPercent,
                        "% of the buffer that must stay free (recording) or full (playback)")
        ->check(CLI::Range(0.0, 100.0))
        ->default_val(options.headroomPercent);
    command->add_option("--seconds", options.seconds,
                        "length of each trial; by default the shortest that can show a dropout "
                        "at every format")
        ->check(CLI::Range(1.0, 3600.0));
    command->add_option("--request", options.requestKBytes,
                        "request size in KBytes for every format; by default a recorder's 65,536 "
                        "frames of each")
        ->check(CLI::Validator(
            [](const std::string& text) {
                uint32_t value;
                if (parseWholeNumber(text, 9, value) && value >= 32 && value <= 4096 && value % 4 == 0)
                    return std::string();
                return "request size must be a multiple of 4 KBytes from 32 to 4096 (got '" + text + "')";
            },
            "32..4096", "kbytes"));
    command->add_option("--repeat", options.repeat,
                        "trials a cell's figure must pass, every time")
        ->check(wholeRangeValidator(2, 10, "repeat count"))
        ->default_val(options.repeat);
    command->add_option("--max-tracks", options.maxTracks, "the most tracks in one trial, in all")
        ->check(wholeRangeValidator(1, 4096, "track count"))
        ->default_val(options.maxTracks);
    command->add_flag("--remove-leftovers", options.removeLeftovers,
                      "first remove the folders (BASE.capacity-*) that earlier searches left "
                      "beside BASE and no running search holds");
    command->add_flag("--json", options.json, "one JSON object instead of the table");
    command->add_option("--plot", options.plotPath, "SVG picture of the table: bars per format and mode")
        ->check(outputFileValidator("FILE.svg", "plot"));
    addBaseArgument(command, options.base);
    return command;
}

int runTableCommand(const TableOptions& options)
{
    TableChoice choice = tableChoiceOf(options);
    TableSetup setup{};
    std::string problem = tableSetupFor(choice, setup);
    if (!problem.empty()) return usageError("table", problem);
    if (!options.plotPath.empty()) {
        // Checked before the table's long run, not after it.
        OutputFile plot;
        if (!openOutputFile(plot, options.plotPath, "plot") || !closeOutputFile(plot)) return exitUsage;
    }
    if (!openWatchedPlace(setup.place)) return exitFailed;
    limitTable(setup);
    printPlan(formatTablePlan(setup), "table-plan", options.json);

    TrialLine line{!options.json && platformStandardErrorIsTerminal(), "", ""};
    if (line.draw) prepareTerminalLine();
    TableWatch watch{&line, tableProgress, trialLineWatch(line)};
    TableRun run = runTable(setup, watch);
    if (line.draw) clearTerminalLine();
    stopWatchingPlace();
    if (run.interrupted) std::fprintf(stderr, "trakmon: table interrupted; its files are removed\n");
    if (!run.failure.empty()) std::fprintf(stderr, "trakmon: %s\n", run.failure.c_str());
    if (run.folderLeft)
        std::fprintf(stderr, "trakmon: the table's folder %s is left: it holds files the table did "
                             "not make\n",
                     setup.place.folder.c_str());

    if (options.json)
        std::printf("%s\n", jsonLine(tableJson(setup, run)).c_str());
    else
        std::printf("%s", formatTable(setup, run).c_str());
    std::fflush(stdout);
    bool written = true;
    if (!options.plotPath.empty()) {
        OutputFile plot;
        written = openOutputFile(plot, options.plotPath, "plot");
        writeOutputFile(plot, svgBarChartDocument(tableChart(setup, run)));
        written = closeOutputFile(plot) && written;
    }
    return allConfirmed(setup, run) && written ? exitConfirmed : exitFailed;
}
