// The options of trakmon session and trakmon capacity, and what both commands share.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/capacity_report.h"
#include "analysis/json_text.h"
#include "analysis/number_text.h"
#include "session/sample_format.h"
#include "cli/cli_checks.h"
#include "cli/session_commands.h"
#include "cli/terminal_line.h"
#include "platform/console.h"

namespace {

const int exitFailed = 1;
const int exitUsage = 2;

const uint32_t maxBufferSeconds = 60;
const uint32_t maxSessionSeconds = 3600;
const uint32_t maxTakeMinutes = 600;

bool parseDecimal(const std::string& text, double& value)
{
    if (text.empty() || text.size() > 16) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value) &&
           text.find_first_not_of("0123456789.") == std::string::npos;
}

// A positive decimal number of seconds (or %) up to high.
CLI::Validator positiveUpTo(double high, bool zeroAllowed, const std::string& what)
{
    return CLI::Validator(
        [=](const std::string& text) {
            double value;
            if (parseDecimal(text, value) && (value > 0 || (zeroAllowed && value == 0)) &&
                value <= high)
                return std::string();
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g", high);
            return what + " must be a number " + (zeroAllowed ? "from 0" : "above 0") + " up to " +
                   limit + " (got '" + text + "')";
        },
        "NUMBER", what);
}

std::string requestCheck(const std::string& text)
{
    uint32_t value;
    if (parseWholeNumber(text, 9, value) && value >= 32 && value <= 4096 && value % 4 == 0)
        return "";
    return "request size must be a multiple of 4 KBytes from 32 to 4096 (got '" + text + "')";
}

// An option whose value is one of choices.
void addChoiceOption(CLI::App* command, const char* name, uint32_t& value, const uint32_t* choices,
                     uint32_t count, const std::string& what, const char* help)
{
    command->add_option(name, value, help)
        ->check(choiceValidator(choices, count, what))
        ->default_val(value);
}

void addCommonOptions(CLI::App* command, SessionOptions& options)
{
    static const uint32_t channelChoices[] = {1, 2};
    addChoiceOption(command, "--rate", options.rate, sampleRateChoices, sampleRateChoiceCount,
                    "sample rate", "sample rate in Hz");
    addChoiceOption(command, "--bits", options.bits, sampleBitsChoices, sampleBitsChoiceCount,
                    "word length", "bits per sample");
    addChoiceOption(command, "--channels", options.channels, channelChoices, 2, "channel count",
                    "1 mono, 2 stereo");
    command->add_option("--buffer", options.bufferSeconds, "seconds of audio each track's buffer holds")
        ->check(positiveUpTo(maxBufferSeconds, false, "buffer length"))
        ->default_val(options.bufferSeconds);
    command->add_option("--request", options.requestKBytes,
                        "request size in KBytes; by default a recorder's 65,536 frames of the "
                        "format, rounded up to 4 KBytes (192 at 48 kHz 24-bit mono)")
        ->check(CLI::Validator(requestCheck, "32..4096", "kbytes"));
    command->add_option("--cache", options.cache,
                        "bypass: the file cache bypassed, the disk itself, as the write and read "
                        "tests measure it; os: through the file cache, as most recorders write")
        ->check(CLI::IsMember({"bypass", "os"}))
        ->default_val(options.cache);
    command->add_flag("--json", options.json, "one JSON object instead of the text");
}

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
    addCommonOptions(command, session);
    command->add_option("--seconds", session.seconds, "length of the session")
        ->check(positiveUpTo(maxSessionSeconds, false, "session length"))
        ->default_val(session.seconds);
    command->add_option("--log", session.logPath, "CSV file with one line per request")
        ->check(outputFileValidator("FILE.csv", "log"));
    command->add_option("--plot", session.plotPath,
                        "SVG picture of the buffers' headroom over the session")
        ->check(outputFileValidator("FILE.svg", "plot"));
    addBaseArgument(command, session.base);
    return command;
}

CLI::App* addCapacityCommand(CLI::App& app, SessionOptions& capacity)
{
    capacity.seconds = 0;
    CLI::App* command = app.add_subcommand(
        "capacity",
        "the largest track count that records (and plays, with --play-ratio) for a trial's "
        "length with no dropout and enough headroom, passed --repeat times; states the disk "
        "space and time it needs first; makes every file in a new folder beside BASE and "
        "removes it at the end");
    command->add_option("--play-ratio", capacity.playRatio,
                        "recorded:played tracks, e.g. 1:3 for overdubs; 1:0 records only")
        ->check(CLI::Validator(
            [](const std::string& text) {
                PlayRatio ratio;
                if (parsePlayRatio(text, ratio)) return std::string();
                return "play ratio must be RECORDED:PLAYED in whole numbers, e.g. 1:3 (got '" +
                       text + "')";
            },
            "R:P", "ratio"))
        ->default_val(capacity.playRatio);
    addCommonOptions(command, capacity);
    command->add_option("--seconds", capacity.seconds,
                        "length of each trial; at least three buffer lengths and ten requests' "
                        "audio (shorter trials cannot fail); by default the larger of 30 s and that")
        ->check(positiveUpTo(maxSessionSeconds, false, "trial length"));
    command->add_option("--repeat", capacity.repeat,
                        "trials a count must pass, every time, to be the answer")
        ->check(wholeRangeValidator(1, 10, "repeat count"))
        ->default_val(capacity.repeat);
    command->add_option("--headroom", capacity.headroomPercent,
                        "% of the buffer that must stay free (recording) or full (playback)")
        ->check(positiveUpTo(100, true, "headroom"))
        ->default_val(capacity.headroomPercent);
    command->add_option("--max-tracks", capacity.maxTracks, "the largest track count tried, in all")
        ->check(wholeRangeValidator(1, maxSessionTracks, "track count"))
        ->default_val(capacity.maxTracks);
    command->add_option("--take", capacity.takeMinutes,
                        "end with one trial this many minutes long at the answer, as a whole take "
                        "meets what a short trial does not (a drive's write cache running out, a "
                        "filling disk); its disk space is counted before the search starts")
        ->check(positiveUpTo(maxTakeMinutes, false, "take length in minutes"));
    command->add_flag("--remove-leftovers", capacity.removeLeftovers,
                      "first remove the folders (BASE.capacity-*) that earlier searches left "
                      "beside BASE and no running search holds; without it they are only named");
    addBaseArgument(command, capacity.base);
    return command;
}

}  // namespace

SessionCommands addSessionCommands(CLI::App& app, SessionOptions& session, SessionOptions& capacity)
{
    return SessionCommands{addSessionCommand(app, session), addCapacityCommand(app, capacity)};
}

SessionChoice sessionChoiceOf(const SessionOptions& options)
{
    SessionChoice choice;
    choice.rate = options.rate;
    choice.bits = options.bits;
    choice.channels = options.channels;
    choice.bufferSeconds = options.bufferSeconds;
    choice.requestKBytes = options.requestKBytes;
    choice.seconds = options.seconds;
    choice.caching = options.cache == "os" ? throughFileCache : bypassFileCache;
    return choice;
}

int usageError(const char* command, const std::string& message)
{
    std::fprintf(stderr, "trakmon %s: %s\n", command, message.c_str());
    return exitUsage;
}

int reportSetupFailure(const SetupResult& setup, const SessionConfig& config)
{
    static const char notEnoughFiles[] =
        "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.\n";
    static const char fileTooSmall[] =
        "File Size Is Too Small!\n\nDo The Write Test To Create The Needed Files.\n";
    const char* name = setup.fileName.c_str();
    switch (setup.status) {
    case setupOpenFileLimit:
        std::fprintf(stderr,
                     "trakmon: %u track files need %u open files, and the system allows only %u: "
                     "raise the limit (ulimit -n; the hard limit as root) or use fewer tracks\n",
                     static_cast<unsigned>(config.playTracks + config.recordTracks),
                     static_cast<unsigned>(setup.openFilesNeeded),
                     static_cast<unsigned>(setup.openFileLimit));
        break;
    case setupNoMemory:
        std::fprintf(stderr, "Memory Allocation Error!\n");
        break;
    case setupPlayFileMissing:
        std::fprintf(stderr, "trakmon: %s: %s\n%s", name, setup.reason.c_str(), notEnoughFiles);
        break;
    case setupPlayFileTooSmall:
        std::fprintf(stderr, "trakmon: %s: holds less than one %u KByte request\n%s", name,
                     static_cast<unsigned>(config.requestSize >> 10), fileTooSmall);
        break;
    case setupCreateFailed:
        std::fprintf(stderr, "trakmon: %s: %s\n", name, setup.reason.c_str());
        break;
    case setupNotEnoughSpace:
        std::fprintf(stderr,
                     "WARNING\nNot Enough Disk Space On Drive \nTo Write Test Files!\n"
                     "trakmon: the session records up to %s bytes (with the reserve); %s bytes "
                     "are free\n",
                     withThousands(setup.bytesNeeded).c_str(), withThousands(setup.bytesFree).c_str());
        break;
    case setupReady:
        break;
    }
    return exitFailed;
}

void reportAbort(bool readFailed, const std::string& file, bool closeFailed, bool writeBackFailed)
{
    std::fprintf(stderr, "%s\ntrakmon: %s: %s\n",
                 readFailed ? "Disk Read Error... Test Aborted!" : "Disk Write Error... Test Aborted!",
                 file.c_str(),
                 writeBackFailed ? "its data could not be written back to the disk; it may be lost"
                 : closeFailed   ? "the file failed to close; its data may be lost"
                                 : "the request moved too few bytes");
}

bool drawsProgress(const SessionOptions& options)
{
    if (options.json || !platformStandardErrorIsTerminal()) return false;
    prepareTerminalLine();
    return true;
}

bool openWatchedPlace(SearchPlace& place)
{
    platformWatchInterrupts();
    std::string problem;
    if (!makeSearchFolder(place, problem)) {
        platformStopWatchingInterrupts();
        std::fprintf(stderr, "trakmon: %s\n", problem.c_str());
        return false;
    }
    platformSetInterruptCleanupFolder(place.folder);
    return true;
}

void stopWatchingPlace()
{
    platformSetInterruptCleanupFolder("");
    platformStopWatchingInterrupts();
}

void printPlan(const std::string& plan, const char* test, bool json)
{
    if (json)
        std::printf("%s\n", jsonLine({{"test", test}, {"text", plan}}).c_str());
    else
        std::printf("%s\n", plan.c_str());
    std::fflush(stdout);
}
