#include "cli/search_options.h"

#include <CLI/CLI.hpp>
#include <sstream>
#include <vector>

#include "cli/cli_checks.h"
#include "cli/common_options.h"

namespace {

const uint32_t maxTakeMinutes = 600;

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

bool parseTableMode(const std::string& text, SearchMode& mode)
{
    return parseSearchMode(text, true, mode);
}

template <typename Item>
CLI::Validator listValidator(bool (*parse)(const std::string&, Item&), const std::string& what,
                             const std::string& shape)
{
    return CLI::Validator(
        [=](const std::string& text) {
            std::vector<std::string> items = listItems(text);
            Item item;
            if (items.empty() || items.size() > 8)
                return what + " must be 1 to 8 items (got '" + text + "')";
            for (const std::string& one : items)
                if (!parse(one, item)) return what + " must be " + shape + " (got '" + one + "')";
            return std::string();
        },
        "LIST", what);
}

// What both commands take: the path, the buffer and its request, the rule,
// the trials, the most tracks, the leftovers and the base.
void addSharedOptions(CLI::App* command, SearchOptions& options, uint32_t fewestRepeats,
                      const char* maxTracksHelp)
{
    SearchSettings& settings = options.settings;
    addCacheOption(command, options.cache);
    addBufferOptions(command, settings.bufferSeconds, options.requestKBytes, options.preset);
    command->add_option("--headroom", settings.headroomPercent,
                        "% of the buffer that must stay free (recording) or full (playback)")
        ->check(decimalRange(0, true, 100, "headroom"))
        ->default_val(settings.headroomPercent);
    command->add_option("--repeat", settings.repeat,
                        "trials the answer must pass, every time")
        ->check(wholeRangeValidator(fewestRepeats, 10, "repeat count"))
        ->default_val(settings.repeat);
    command->add_option("--max-tracks", settings.maxTracks, maxTracksHelp)
        ->check(wholeRangeValidator(1, 4096, "track count"))
        ->default_val(settings.maxTracks);
    command->add_flag("--remove-leftovers", settings.removeLeftovers,
                      "first remove the folders (BASE.capacity-*) that earlier searches left "
                      "beside BASE and no running search holds; without it they are only named");
    command->add_flag("--json", options.json, "one JSON object instead of the text");
    addBaseArgument(command, settings.base);
}

}  // namespace

CLI::App* addCapacityCommand(CLI::App& app, SearchOptions& options)
{
    SearchSettings& settings = options.settings;
    settings.repeat = 3;
    CLI::App* command = app.add_subcommand(
        "capacity",
        "the largest track count that records (and plays, with --play-ratio) for a trial's "
        "length with no dropout and enough headroom, passed --repeat times; states the disk "
        "space and time it needs first; makes every file in a new folder beside BASE and "
        "removes it at the end");
    command
        ->add_option("--play-ratio", options.playRatio,
                     "recorded:played tracks, e.g. 1:3 for overdubs; 1:0 (or record) records only")
        ->check(CLI::Validator(
            [](const std::string& text) {
                SearchMode mode;
                if (parseSearchMode(text, false, mode)) return std::string();
                return "play ratio must be RECORDED:PLAYED in whole numbers with at least one "
                       "recorded track, e.g. 1:3 (got '" +
                       text + "')";
            },
            "R:P", "ratio"))
        ->default_val(options.playRatio);
    addFormatOptions(command, options.format);
    command->add_option("--seconds", settings.trialSeconds,
                        "length of each trial; at least three buffer lengths and ten requests' "
                        "audio (shorter trials cannot fail); by default the larger of 30 s and that")
        ->check(decimalRange(0, false, maxSessionSeconds, "trial length"));
    command->add_option("--take", settings.takeMinutes,
                        "end with one trial this many minutes long at the answer, as a whole take "
                        "meets what a short trial does not (a drive's write cache running out, a "
                        "filling disk); its disk space is counted before the search starts")
        ->check(decimalRange(0, false, maxTakeMinutes, "take length in minutes"));
    addSharedOptions(command, options, 1, "the largest track count tried, in all");
    return command;
}

CLI::App* addTableCommand(CLI::App& app, SearchOptions& options)
{
    SearchSettings& settings = options.settings;
    settings.repeat = 2;
    CLI::App* command = app.add_subcommand(
        "table",
        "for every format and mode of a list, the most tracks this disk carries for a whole take, "
        "predicted from its time per request and confirmed in real-time trials like capacity's; "
        "states the time and disk space first; makes every file in a new folder beside BASE and "
        "removes it at the end");
    command->add_option("--formats", options.formats, "RATE/BITS[/mono|stereo] items, comma-separated")
        ->check(listValidator<SampleFormat>(parseFormat, "formats",
                                            "RATE/BITS[/mono|stereo], e.g. 48000/24"))
        ->default_val(options.formats);
    command->add_option("--modes", options.modes,
                        "record, play, or RECORDED:PLAYED for overdubs, comma-separated")
        ->check(listValidator<SearchMode>(parseTableMode, "modes", "record, play or RECORDED:PLAYED"))
        ->default_val(options.modes);
    command->add_option("--seconds", settings.trialSeconds,
                        "length of each trial; by default the shortest that can show a dropout "
                        "at every format")
        ->check(decimalRange(1, true, maxSessionSeconds, "trial length"));
    command->add_option("--plot", options.plotPath, "SVG picture of the table: bars per format and mode")
        ->check(outputFileValidator("FILE.svg", "plot"));
    addSharedOptions(command, options, 2, "the most tracks in one trial, in all");
    return command;
}

SearchSettings searchSettingsOf(const SearchOptions& options, bool table)
{
    SearchSettings settings = options.settings;
    settings.caching = cachingOf(options.cache);
    settings.requestSize = options.requestKBytes << 10;
    settings.preset = bufferingPresetOf(options.preset);
    if (settings.preset != presetNone) {
        PresetBuffering buffering = presetBuffering(settings.preset);
        settings.bufferSeconds = buffering.bufferSeconds;
        settings.requestFrames = buffering.requestFrames;
        settings.requestSize = 0;
    }
    settings.formats.clear();
    settings.modes.clear();
    if (!table) {
        SearchMode mode{1, 0};
        parseSearchMode(options.playRatio, false, mode);
        settings.formats.push_back(options.format);
        settings.modes.push_back(mode);
        return settings;
    }
    for (const std::string& item : listItems(options.formats)) {
        SampleFormat format{};
        parseFormat(item, format);
        settings.formats.push_back(format);
    }
    for (const std::string& item : listItems(options.modes)) {
        SearchMode mode{};
        parseTableMode(item, mode);
        settings.modes.push_back(mode);
    }
    return settings;
}
