// The options of trakmon session, and what the commands that run sessions share.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis/json_text.h"
#include "cli/cli_checks.h"
#include "cli/common_options.h"
#include "cli/exit_status.h"
#include "cli/session_commands.h"
#include "cli/terminal_line.h"
#include "platform/console.h"

CLI::App* addSessionCommand(CLI::App& app, SessionOptions& session)
{
    CLI::App* command = app.add_subcommand(
        "session",
        "a recorder's disk thread in real time: N tracks recorded (and M played back) with a "
        "buffer per track; counts the dropouts. Plays BASE.001 .. BASE.M, records the next N "
        "numbers; the recorded files stay on disk");
    command->add_option("--tracks", session.tracks, "tracks recorded")
        ->check(wholeRangeValidator(1, maxSessionTracks, "track count"))
        ->default_val(session.tracks);
    command->add_option("--play", session.play, "tracks played back at the same time, from files "
                                                "a write test or an earlier session made")
        ->check(wholeRangeValidator(0, maxSessionTracks, "playback track count"))
        ->default_val(session.play);
    addFormatOptions(command, session.format);
    addBufferOptions(command, session.bufferSeconds, session.requestKBytes, session.preset);
    addCacheOption(command, session.cache);
    command->add_flag("--json", session.json, "one JSON object instead of the text");
    command->add_option("--seconds", session.seconds, "length of the session")
        ->check(decimalRange(0, false, maxSessionSeconds, "session length"))
        ->default_val(session.seconds);
    command->add_option("--log", session.logPath, "CSV file with one line per request")
        ->check(outputFileValidator("FILE.csv", "log"));
    command->add_option("--plot", session.plotPath,
                        "SVG picture of the buffers' headroom over the session")
        ->check(outputFileValidator("FILE.svg", "plot"));
    addBaseArgument(command, session.base);
    return command;
}

SessionChoice sessionChoiceOf(const SessionOptions& options)
{
    BufferingPreset preset = bufferingPresetOf(options.preset);
    if (preset != presetNone) {
        PresetBuffering buffering = presetBuffering(preset);
        return SessionChoice{options.format, buffering.bufferSeconds, 0, options.seconds,
                             cachingOf(options.cache), buffering.requestFrames};
    }
    return SessionChoice{options.format, options.bufferSeconds, options.requestKBytes << 10,
                         options.seconds, cachingOf(options.cache)};
}

int usageError(const char* command, const std::string& message)
{
    std::fprintf(stderr, "trakmon %s: %s\n", command, message.c_str());
    return exitUsage;
}

bool drawsProgress(bool json)
{
    if (json || !platformStandardErrorIsTerminal()) return false;
    prepareTerminalLine();
    return true;
}

void printPlan(const std::string& plan, const char* test, bool json)
{
    if (json)
        std::printf("%s\n", jsonLine({{"test", test}, {"text", plan}}).c_str());
    else
        std::printf("%s\n", plan.c_str());
    std::fflush(stdout);
}
