#include "cli/session_commands.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/capacity.h"
#include "cli/cli_checks.h"
#include "cli/cli_output.h"
#include "cli/number_text.h"
#include "cli/sample_format.h"
#include "cli/session_report.h"
#include "cli/terminal_line.h"
#include "engine/plan.h"
#include "platform/platform.h"

namespace {

const int exitNoDropout = 0;
const int exitFailed = 1;
const int exitUsage = 2;

const uint32_t maxBufferSeconds = 60;
const uint32_t maxSessionSeconds = 3600;
const uint64_t progressSliceNs = 250000000;  // the bar is redrawn four times a second

// Set by Ctrl-C (or a termination request) during a capacity search: the
// trial under way stops at its next slice, and the search removes its files
// before it ends, as it would have after the trial.
volatile std::sig_atomic_t searchInterrupted = 0;

void interruptSearch(int)
{
    searchInterrupted = 1;
}

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
    command->add_option("--request", options.requestKBytes, "request size in KBytes")
        ->check(CLI::Validator(requestCheck, "32..4096", "kbytes"))
        ->default_val(options.requestKBytes);
    command->add_flag("--json", options.json, "one JSON object instead of the text");
}

// The format and the buffer of a session, or a message saying what is wrong.
std::string sessionConfig(const SessionOptions& options, uint32_t playTracks, uint32_t recordTracks,
                          SessionConfig& config, SampleFormat& format)
{
    format = SampleFormat{options.rate, options.bits, options.channels};
    config = SessionConfig();
    config.playTracks = playTracks;
    config.recordTracks = recordTracks;
    config.frameRate = options.rate;
    config.frameBytes = options.bits / 8 * options.channels;
    config.requestSize = options.requestKBytes << 10;
    config.durationNs = static_cast<uint64_t>(std::llround(options.seconds * 1e9));
    uint64_t frames = static_cast<uint64_t>(std::llround(options.bufferSeconds * options.rate));
    config.bufferBytes = static_cast<uint32_t>(frames * config.frameBytes);
    if (config.durationNs == 0) return "the session must last at least a nanosecond";
    if (config.bufferBytes < config.requestSize + config.frameBytes) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "a %s buffer holds %s bytes of %s, not more than one %u KByte request: "
                      "choose a longer --buffer or a smaller --request",
                      secondsText(options.bufferSeconds).c_str(),
                      withThousands(config.bufferBytes).c_str(), sampleFormatLabel(format).c_str(),
                      static_cast<unsigned>(options.requestKBytes));
        return text;
    }
    return "";
}

int usageError(const char* command, const std::string& message)
{
    std::fprintf(stderr, "trakmon %s: %s\n", command, message.c_str());
    return exitUsage;
}

std::FILE* openOutput(const std::string& path)
{
    if (path.empty()) return nullptr;
    return std::fopen(path.c_str(), "w");
}

// The terminal's progress line: a bar of the session's time and what it has cost so far.
void drawSessionBar(const SessionRun& run, const std::string& caption)
{
    const SessionModel& model = run.model;
    const uint32_t columns = 30;
    uint64_t total = model.config.durationNs;
    uint32_t filled =
        static_cast<uint32_t>(std::min<uint64_t>(columns, run.nowNs * columns / total));
    char figures[96];
    std::snprintf(figures, sizeof figures, "%.1f / %s, dropouts %u", run.nowNs / 1e9,
                  secondsText(total / 1e9).c_str(),
                  static_cast<unsigned>(model.recording.events + model.playback.events));
    drawTerminalLine("[" + std::string(filled, '#') + std::string(columns - filled, '.') + "] " +
                     caption + figures);
}

void clearBar(bool drawBar)
{
    if (drawBar) clearTerminalLine();
}

// Says why a session could not start; returns the exit status.
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

// Opens, pre-rolls and runs one session to its end, drawing the bar on a
// terminal; the track files are closed afterwards.
SetupResult runOneSession(SessionRun& run, const SessionConfig& config, const SessionFiles& files,
                          bool drawBar, const std::string& caption)
{
    SetupResult setup = openSession(run, config, files);
    if (setup.status != setupReady) return setup;
    if (prerollAndStart(run)) {
        platformTimeBeginPeriod(1);
        while (!searchInterrupted && runSessionUntil(run, run.nowNs + progressSliceNs))
            if (drawBar) drawSessionBar(run, caption);
        platformTimeEndPeriod(1);
    }
    clearBar(drawBar);
    closeSession(run);
    return setup;
}

void reportAbort(const SessionRun& run)
{
    bool play = run.failedTrack < run.model.config.playTracks;
    std::fprintf(stderr, "%s\ntrakmon: %s: %s\n",
                 play ? "Disk Read Error... Test Aborted!" : "Disk Write Error... Test Aborted!",
                 sessionTrackFileName(run, run.failedTrack).c_str(),
                 run.closeFailed ? "the file failed to close; its data may be lost"
                                 : "the request moved too few bytes");
}

// A terminal gets a progress line.
bool standardErrorIsTerminal()
{
    if (isatty(STDERR_FILENO) == 0) return false;
    prepareTerminalLine();
    return true;
}

}  // namespace

SessionCommands addSessionCommands(CLI::App& app, SessionOptions& session, SessionOptions& capacity)
{
    SessionCommands commands;
    commands.session = app.add_subcommand(
        "session",
        "a recorder's disk thread in real time: N tracks recorded (and M played back) with a "
        "buffer per track; counts the dropouts. Plays BASE.001 .. BASE.M, records the next N "
        "numbers; the recorded files stay on disk");
    CLI::App* command = commands.session;
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

    capacity.seconds = 30;
    commands.capacity = app.add_subcommand(
        "capacity",
        "the largest track count that records (and plays, with --play-ratio) for a trial's "
        "length with no dropout and enough headroom; states the disk space and time it needs "
        "first; removes each trial's files");
    command = commands.capacity;
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
    command->add_option("--seconds", capacity.seconds, "length of each trial")
        ->check(positiveUpTo(maxSessionSeconds, false, "trial length"))
        ->default_val(capacity.seconds);
    command->add_option("--headroom", capacity.headroomPercent,
                        "% of the buffer that must stay free (recording) or full (playback)")
        ->check(positiveUpTo(100, true, "headroom"))
        ->default_val(capacity.headroomPercent);
    command->add_option("--max-tracks", capacity.maxTracks, "the largest track count tried, in all")
        ->check(wholeRangeValidator(1, maxSessionTracks, "track count"))
        ->default_val(capacity.maxTracks);
    addBaseArgument(command, capacity.base);
    return commands;
}

int runSessionCommand(const SessionOptions& options)
{
    SessionConfig config;
    SampleFormat format;
    std::string problem = sessionConfig(options, options.play, options.tracks, config, format);
    if (!problem.empty()) return usageError("session", problem);
    // Both files are opened first: a path that cannot be written fails
    // before the session, not after it.
    std::FILE* log = openOutput(options.logPath);
    if (!options.logPath.empty() && log == nullptr)
        return usageError("session", "cannot write the log " + options.logPath + ": " +
                                         std::strerror(errno));
    std::FILE* plot = openOutput(options.plotPath);
    if (!options.plotPath.empty() && plot == nullptr) {
        std::string reason = std::strerror(errno);
        if (log != nullptr) std::fclose(log);
        return usageError("session", "cannot write the plot " + options.plotPath + ": " + reason);
    }

    SessionFiles files{options.base, options.base, options.play + 1};
    SessionRun run;
    bool drawBar = !options.json && standardErrorIsTerminal();
    SetupResult setup = runOneSession(run, config, files, drawBar, "");
    if (setup.status != setupReady) {
        if (log != nullptr) std::fclose(log);
        if (plot != nullptr) std::fclose(plot);
        return reportSetupFailure(setup, config);
    }
    if (run.aborted) reportAbort(run);

    SessionSummary summary = summariseSession(run, format, options.bufferSeconds);
    if (log != nullptr) {
        writeSessionLog(log, run, summary.bytesPerSecond);
        std::fclose(log);
    }
    if (plot != nullptr) {
        std::fputs(svgDocument(sessionCharts(run, summary)).c_str(), plot);
        std::fclose(plot);
    }
    if (options.json) {
        nlohmann::json object = sessionJson(summary);
        object["baseFileName"] = jsonArgumentText(options.base);
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s", formatSessionText(summary).c_str());
    }
    std::fflush(stdout);
    return summary.aborted || sessionHasDropout(summary) ? exitFailed : exitNoDropout;
}

namespace {

// base with "-play" before its last dot: /data/take.wav -> /data/take-play.wav.
std::string playBaseFor(const std::string& base)
{
    std::string play = base;
    play.insert(findLastChar(base.c_str(), '.'), "-play");
    return play;
}

void showCapacityProgress(bool drawBar, const std::string& text)
{
    if (drawBar) drawTerminalLine(text);
}

// The limit of the search, lowered to what the open-file limit and the
// free space allow.
void limitCapacitySearch(CapacitySetup& setup, uint32_t maxTracks)
{
    setup.limit = maxRecordTracksFor(setup.ratio, maxTracks);
    setup.limitReason = limitAsked;
    uint32_t wanted = setup.limit + playTracksFor(setup.ratio, setup.limit) + spareOpenFiles;
    uint32_t allowed = platformRaiseOpenFileLimit(wanted);
    if (allowed < wanted) {
        setup.limit = allowed > spareOpenFiles
                          ? maxRecordTracksFor(setup.ratio, allowed - spareOpenFiles)
                          : 0;
        setup.limitReason = limitOpenFiles;
    }
    char name[trackFileNameSize];
    std::snprintf(name, sizeof name, "%.259s", setup.base.c_str());
    formatTrackFileName(name, 1);
    setup.freeBytes = queryFreeBytes(name);
    if (setup.freeBytes == 0) return;  // unknown: each trial checks for itself
    uint32_t fits = setup.limit;
    while (fits > 0 &&
           trialDiskBytes(setup.config, setup.ratio, fits) + freeSpaceReserve >= setup.freeBytes)
        --fits;
    if (fits < setup.limit) {
        setup.limit = fits;
        setup.limitReason = limitDiskSpace;
    }
}

}  // namespace

int runCapacityCommand(const SessionOptions& options)
{
    CapacitySetup setup;
    std::string problem = sessionConfig(options, 0, 0, setup.config, setup.format);
    if (!problem.empty()) return usageError("capacity", problem);
    parsePlayRatio(options.playRatio, setup.ratio);
    setup.bufferSeconds = options.bufferSeconds;
    setup.headroomPercent = options.headroomPercent;
    setup.base = options.base;
    std::string playBase = playBaseFor(options.base);
    if (setup.ratio.play > 0 && playBase.size() > maxBaseFileName)
        return usageError("capacity", "the base file name is longer than 254 characters, too long "
                                      "to name the playback files");
    // Headroom can never exceed what is left of the buffer beside one request.
    const SessionConfig& config = setup.config;
    double reachable = 100.0 * (config.bufferBytes - config.requestSize) / config.bufferBytes;
    if (reachable < setup.headroomPercent) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "a %u KByte request holds %.2f s of one track, so a %s buffer keeps at most "
                      "%.0f %% headroom, less than the %g %% asked: choose a smaller --request, a "
                      "longer --buffer or a lower --headroom",
                      static_cast<unsigned>(options.requestKBytes),
                      audioSeconds(config.requestSize, sampleFormatBytesPerSecond(setup.format)),
                      secondsText(options.bufferSeconds).c_str(), reachable, setup.headroomPercent);
        return usageError("capacity", text);
    }

    limitCapacitySearch(setup, options.maxTracks);
    if (options.json)
        std::printf("%s\n", jsonLine({{"test", "capacity-plan"},
                                      {"text", formatCapacityPlan(setup)}})
                                .c_str());
    else
        std::printf("%s\n", formatCapacityPlan(setup).c_str());
    std::fflush(stdout);
    if (setup.limit == 0) {
        std::fprintf(stderr, "trakmon: not even one track fits: %s\n",
                     setup.limitReason == limitDiskSpace ? "too little free disk space"
                                                         : "the open-file limit is too low");
        return exitFailed;
    }

    bool drawBar = !options.json && standardErrorIsTerminal();
    std::signal(SIGINT, interruptSearch);
    std::signal(SIGTERM, interruptSearch);
    CapacitySearch search = startCapacitySearch(setup.limit);
    std::vector<CapacityTrial> trials;
    uint32_t playFilesMade = 0;
    int status = exitNoDropout;
    for (uint32_t count; (count = nextTrialCount(search)) != 0;) {
        CapacityTrial trial{};
        trial.recordTracks = count;
        trial.playTracks = playTracksFor(setup.ratio, count);
        char caption[96];
        std::snprintf(caption, sizeof caption, "trial %u: %u recorded, %u played: ",
                      static_cast<unsigned>(trials.size() + 1), static_cast<unsigned>(count),
                      static_cast<unsigned>(trial.playTracks));
        if (trial.playTracks > playFilesMade) {
            showCapacityProgress(drawBar, std::string(caption) + "writing the playback files");
            std::string reason;
            std::string failed = preparePlayFiles(playBase, trial.playTracks, playFileBytes(config),
                                                  config.requestSize, reason);
            playFilesMade = std::max(playFilesMade, trial.playTracks);
            if (!failed.empty()) {
                clearBar(drawBar);
                std::fprintf(stderr, "trakmon: %s: %s\n", failed.c_str(), reason.c_str());
                status = exitFailed;
                break;
            }
        }
        SessionConfig trialConfig = config;
        trialConfig.playTracks = trial.playTracks;
        trialConfig.recordTracks = count;
        SessionRun run;
        SetupResult started = runOneSession(run, trialConfig, SessionFiles{playBase, options.base, 1},
                                            drawBar, caption);
        removeTrackFiles(options.base, 1, count);
        if (searchInterrupted) {
            status = exitFailed;
            break;
        }
        if (started.status != setupReady) {
            status = reportSetupFailure(started, trialConfig);
            break;
        }
        trial.summary = summariseSession(run, setup.format, setup.bufferSeconds);
        trial.passed = trialPasses(trial.summary, setup.headroomPercent);
        trials.push_back(trial);
        if (drawBar && !run.aborted)
            std::fprintf(stderr, "%s%s: %s\n", caption, trial.passed ? "pass" : "fail",
                         sessionVerdict(trial.summary).c_str());
        if (run.aborted) {
            reportAbort(run);
            status = exitFailed;
            break;
        }
        noteTrial(search, count, trial.passed);
    }
    removeTrackFiles(playBase, 1, playFilesMade);
    clearBar(drawBar);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (searchInterrupted)
        std::fprintf(stderr, "trakmon: capacity search interrupted; its track files are removed\n");

    if (options.json) {
        nlohmann::json object = capacityJson(setup, search, trials);
        object["completed"] = status == exitNoDropout;
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        if (status == exitNoDropout) std::printf("%s\n\n", capacitySentence(setup, search).c_str());
        std::printf("%s", formatCapacityTable(trials).c_str());
    }
    std::fflush(stdout);
    return status;
}
