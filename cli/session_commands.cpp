#include "cli/session_commands.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "analysis/capacity.h"
#include "analysis/number_text.h"
#include "analysis/sample_format.h"
#include "analysis/session_report.h"
#include "cli/cli_checks.h"
#include "cli/cli_output.h"
#include "cli/output_file.h"
#include "cli/terminal_line.h"
#include "engine/plan.h"
#include "engine/track_name.h"
#include "platform/platform.h"

namespace {

const int exitNoDropout = 0;
const int exitFailed = 1;
const int exitUsage = 2;

const uint32_t maxBufferSeconds = 60;
const uint32_t maxSessionSeconds = 3600;
const uint64_t progressSliceNs = 250000000;  // the bar is redrawn four times a second
const uint64_t nsPerSecond = 1000000000u;

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

TrackCaching cachingOf(const SessionOptions& options)
{
    return options.cache == "os" ? throughFileCache : bypassFileCache;
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
    config.requestSize = options.requestKBytes != 0 ? options.requestKBytes << 10
                                                    : recorderRequestBytes(config.frameBytes);
    config.durationNs = static_cast<uint64_t>(std::llround(options.seconds * 1e9));
    uint64_t frames = static_cast<uint64_t>(std::llround(options.bufferSeconds * options.rate));
    config.bufferBytes = static_cast<uint32_t>(frames * config.frameBytes);
    if (config.bufferBytes < config.requestSize + config.frameBytes) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "a %s buffer holds %s bytes of %s, not more than one %u KByte request: "
                      "choose a longer --buffer or a smaller --request",
                      secondsText(options.bufferSeconds).c_str(),
                      withThousands(config.bufferBytes).c_str(), sampleFormatLabel(format).c_str(),
                      static_cast<unsigned>(config.requestSize >> 10));
        return text;
    }
    if (config.durationNs == 0) config.durationNs = std::max(30 * nsPerSecond, shortestTellingNs(config));
    return "";
}

int usageError(const char* command, const std::string& message)
{
    std::fprintf(stderr, "trakmon %s: %s\n", command, message.c_str());
    return exitUsage;
}

// A log or plot named on the command line: checked before the session
// without changing it (made empty only when it did not exist), written in
// binary once the session has run, and removed again when the session never
// started and the file is one this run made.
struct SessionOutput {
    std::string path;
    const char* kind;  // "log", "plot"
    bool made;
};

bool prepareOutput(SessionOutput& output, std::string& problem)
{
    if (output.path.empty()) return true;
    std::FILE* existing = std::fopen(output.path.c_str(), "rb");
    output.made = existing == nullptr;
    if (existing != nullptr) std::fclose(existing);
    std::FILE* file = std::fopen(output.path.c_str(), "ab");
    if (file == nullptr || std::fclose(file) != 0) {
        problem = std::string("cannot write the ") + output.kind + " " + output.path + ": " +
                  std::strerror(errno);
        return false;
    }
    return true;
}

void discardOutput(const SessionOutput& output)
{
    if (!output.path.empty() && output.made) std::remove(output.path.c_str());
}

// Writes text to the output, checked; false (and says why) when it cannot.
bool writeOutput(const SessionOutput& output, const std::string& text)
{
    if (output.path.empty()) return true;
    OutputFile file;
    if (!openOutputFile(file, output.path, output.kind)) return false;
    writeOutputFile(file, text);
    return closeOutputFile(file);
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
    addBaseArgument(command, capacity.base);
    return command;
}

}  // namespace

SessionCommands addSessionCommands(CLI::App& app, SessionOptions& session, SessionOptions& capacity)
{
    return SessionCommands{addSessionCommand(app, session), addCapacityCommand(app, capacity)};
}

int runSessionCommand(const SessionOptions& options)
{
    SessionConfig config;
    SampleFormat format;
    std::string problem = sessionConfig(options, options.play, options.tracks, config, format);
    if (!problem.empty()) return usageError("session", problem);
    // Both files are checked first: a path that cannot be written fails
    // before the session, not after it.
    SessionOutput log{options.logPath, "log", false};
    SessionOutput plot{options.plotPath, "plot", false};
    if (!prepareOutput(log, problem) || !prepareOutput(plot, problem)) {
        discardOutput(log);
        return usageError("session", problem);
    }

    SessionFiles files{options.base, options.base, options.play + 1, cachingOf(options)};
    SessionRun run;
    bool drawBar = !options.json && standardErrorIsTerminal();
    SetupResult setup = runOneSession(run, config, files, drawBar, "");
    if (setup.status != setupReady) {
        discardOutput(log);
        discardOutput(plot);
        return reportSetupFailure(setup, config);
    }
    if (run.aborted) reportAbort(run);

    SessionSummary summary = summariseSession(run, format, options.bufferSeconds);
    bool written = log.path.empty() || writeOutput(log, sessionLogText(run, summary.bytesPerSecond));
    written = (plot.path.empty() || writeOutput(plot, svgDocument(sessionCharts(run, summary)))) &&
              written;
    if (options.json) {
        nlohmann::json object = sessionJson(summary);
        object["baseFileName"] = jsonArgumentText(options.base);
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s", formatSessionText(summary).c_str());
    }
    std::fflush(stdout);
    return sessionOutcome(summary) == sessionNoDropout && written ? exitNoDropout : exitFailed;
}

namespace {

// A file name with "-play" before its last dot: take.wav -> take-play.wav.
std::string playNameFor(const std::string& name)
{
    size_t dot = name.find_last_of('.');
    std::string play = name;
    play.insert(dot == std::string::npos ? name.size() : dot, "-play");
    return play;
}

// Makes the search's own folder beside base, BASE.capacity-XXXXXX, under a
// name nothing had: every file of the search lives in it.
bool makeSearchFolder(CapacitySetup& setup, std::string& reason)
{
    std::string name = setup.base.substr(fileNameStart(setup.base.c_str()));
    for (uint32_t attempt = 0; attempt < 64; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".capacity-%06x",
                      static_cast<unsigned>((platformMonotonicNs() / 1000 + attempt * 7919u) & 0xffffff));
        setup.folder = setup.base + suffix;
        // Room for the played files' names inside it.
        if (setup.folder.size() + 1 + playNameFor(name).size() + 5 > maxBaseFileName) {
            reason = "the base file name is too long to name the search's folder and files";
            return false;
        }
        if (platformMakeFolder(setup.folder.c_str())) return true;
    }
    reason = std::string(platformLastErrorText()) + ": " + setup.folder;
    return false;
}

std::string recordBaseOf(const CapacitySetup& setup)
{
    return setup.folder + "/" + setup.base.substr(fileNameStart(setup.base.c_str()));
}

std::string playBaseOf(const CapacitySetup& setup)
{
    return setup.folder + "/" + playNameFor(setup.base.substr(fileNameStart(setup.base.c_str())));
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
    setup.freeBytes = queryFreeBytes(numberedTrackFileName(recordBaseOf(setup), 1).c_str());
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

// The settings of a search, or a message saying what is wrong with them.
std::string configureCapacity(const SessionOptions& options, CapacitySetup& setup)
{
    SessionOptions trial = options;
    trial.seconds = 0;
    std::string problem = sessionConfig(trial, 0, 0, setup.config, setup.format);
    if (!problem.empty()) return problem;
    const SessionConfig& config = setup.config;
    parsePlayRatio(options.playRatio, setup.ratio);
    setup.caching = cachingOf(options);
    setup.bufferSeconds = options.bufferSeconds;
    setup.headroomPercent = options.headroomPercent;
    setup.repeat = options.repeat;
    setup.base = options.base;
    double bytesPerSecond = sampleFormatBytesPerSecond(setup.format);
    char text[400];
    if (options.seconds != 0) {
        // A trial too short to fail would pass whatever the disk does.
        double shortest = std::ceil(shortestTellingNs(config) / 1e8) / 10;
        if (options.seconds < shortest) {
            std::snprintf(text, sizeof text,
                          "a trial of %s cannot show a dropout: with a %s buffer and %u KByte "
                          "requests (%.3f s of audio) it must last at least %s (three buffer "
                          "lengths and ten requests' audio); choose --seconds %g or more",
                          secondsText(options.seconds).c_str(),
                          bufferText(options.bufferSeconds).c_str(),
                          static_cast<unsigned>(config.requestSize >> 10),
                          config.requestSize / bytesPerSecond, secondsText(shortest).c_str(),
                          shortest);
            return text;
        }
        setup.config.durationNs = static_cast<uint64_t>(std::llround(options.seconds * 1e9));
    }
    // Headroom can never exceed what is left of the buffer beside one request.
    double reachable = 100.0 * bestHeadroomBytes(config) / config.bufferBytes;
    if (reachable < setup.headroomPercent) {
        std::snprintf(text, sizeof text,
                      "a %u KByte request holds %.2f s of one track, so a %s buffer keeps at most "
                      "%.0f %% headroom, less than the %g %% asked: choose a smaller --request, a "
                      "longer --buffer or a lower --headroom",
                      static_cast<unsigned>(config.requestSize >> 10),
                      config.requestSize / bytesPerSecond,
                      secondsText(options.bufferSeconds).c_str(), reachable, setup.headroomPercent);
        return text;
    }
    return "";
}

// The search's side of the trials: its files, the trials so far, the bar.
struct CapacityRun {
    const CapacitySetup* setup;
    std::string recordBase;
    std::string playBase;
    uint32_t playFilesMade;
    std::vector<CapacityTrial> trials;
    bool drawBar;
    std::string caption;
};

// Playback files for a trial of `plays` played tracks: all of them written
// anew, round-robin, whenever more are needed than exist.
bool preparePlayback(CapacityRun& search, uint32_t plays)
{
    if (plays <= search.playFilesMade) return true;
    const CapacitySetup& setup = *search.setup;
    if (search.drawBar) drawTerminalLine(search.caption + "writing the playback files");
    search.playFilesMade = plays;
    std::string reason;
    std::string failed = preparePlayFiles(search.playBase, plays, playFileBytes(setup.config),
                                          setup.config.requestSize, setup.caching, reason);
    if (failed.empty()) return true;
    clearBar(search.drawBar);
    std::fprintf(stderr, "trakmon: %s: %s\n", failed.c_str(), reason.c_str());
    return false;
}

void announceTrial(void* context, uint32_t number, uint32_t count)
{
    CapacityRun& search = *static_cast<CapacityRun*>(context);
    char caption[96];
    std::snprintf(caption, sizeof caption, "trial %u: %u recorded, %u played: ",
                  static_cast<unsigned>(number), static_cast<unsigned>(count),
                  static_cast<unsigned>(playTracksFor(search.setup->ratio, count)));
    search.caption = caption;
}

bool runCapacityTrial(void* context, uint32_t count, TrialResult& result)
{
    CapacityRun& search = *static_cast<CapacityRun*>(context);
    const CapacitySetup& setup = *search.setup;
    CapacityTrial trial{};
    trial.recordTracks = count;
    trial.playTracks = playTracksFor(setup.ratio, count);
    if (!preparePlayback(search, trial.playTracks) || searchInterrupted) return false;
    SessionConfig config = setup.config;
    config.playTracks = trial.playTracks;
    config.recordTracks = count;
    SessionRun run;
    SetupResult started =
        runOneSession(run, config, SessionFiles{search.playBase, search.recordBase, 1, setup.caching},
                      search.drawBar, search.caption);
    removeTrackFiles(search.recordBase, 1, count);
    if (searchInterrupted) return false;
    if (started.status != setupReady) {
        reportSetupFailure(started, config);
        return false;
    }
    trial.summary = summariseSession(run, setup.format, setup.bufferSeconds);
    trial.passed = trialPasses(trial.summary, setup.headroomPercent);
    search.trials.push_back(trial);
    if (run.aborted) {
        reportAbort(run);
        return false;
    }
    if (search.drawBar)
        std::fprintf(stderr, "%s%s: %s\n", search.caption.c_str(), trial.passed ? "pass" : "fail",
                     sessionVerdict(trial.summary).c_str());
    result = trialResult(trial.summary, trial.passed);
    return true;
}

uint64_t searchClock(void*)
{
    return platformMonotonicNs();
}

// Removes every file the search made, then its folder.
void removeSearchFiles(const CapacityRun& search)
{
    removeTrackFiles(search.playBase, 1, search.playFilesMade);
    if (!platformRemoveFolder(search.setup->folder.c_str()))
        std::fprintf(stderr,
                     "trakmon: the search's folder %s is left: it holds files the search did not "
                     "make\n",
                     search.setup->folder.c_str());
}

void printCapacityResult(const CapacitySetup& setup, const SearchRun& run,
                         const std::vector<CapacityTrial>& trials, bool json, bool completed)
{
    SearchAnswer answer = searchAnswer(capacityRules(setup), run.trials);
    if (json) {
        nlohmann::json object = capacityJson(setup, answer, run, trials);
        object["completed"] = completed;
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        if (completed) std::printf("%s\n\n", capacitySentence(setup, answer, run).c_str());
        std::printf("%s", formatCapacityTable(trials).c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int runCapacityCommand(const SessionOptions& options)
{
    CapacitySetup setup;
    std::string problem = configureCapacity(options, setup);
    if (!problem.empty()) return usageError("capacity", problem);
    if (!makeSearchFolder(setup, problem)) {
        std::fprintf(stderr, "trakmon: %s\n", problem.c_str());
        return exitFailed;
    }
    limitCapacitySearch(setup, options.maxTracks);
    std::string plan = formatCapacityPlan(setup);
    if (options.json)
        std::printf("%s\n", jsonLine({{"test", "capacity-plan"}, {"text", plan}}).c_str());
    else
        std::printf("%s\n", plan.c_str());
    std::fflush(stdout);

    CapacityRun search{&setup, recordBaseOf(setup), playBaseOf(setup), 0, {},
                       !options.json && standardErrorIsTerminal(), ""};
    SearchRun run{};
    if (setup.limit == 0) {
        std::fprintf(stderr, "trakmon: not even one track fits: %s\n",
                     setup.limitReason == limitDiskSpace ? "too little free disk space"
                                                         : "the open-file limit is too low");
        run.stopped = true;
    } else {
        std::signal(SIGINT, interruptSearch);
        std::signal(SIGTERM, interruptSearch);
        CapacityWiring wiring{&search, runCapacityTrial, searchClock, announceTrial};
        run = runCapacitySearch(capacityRules(setup), capacityEstimateNs(setup),
                                nominalTrialNs(setup), wiring);
    }
    removeSearchFiles(search);
    clearBar(search.drawBar);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (searchInterrupted)
        std::fprintf(stderr, "trakmon: capacity search interrupted; its track files are removed\n");
    SearchAnswer answer = searchAnswer(capacityRules(setup), run.trials);
    bool completed = !run.stopped && answer.tracks != 0;
    printCapacityResult(setup, run, search.trials, options.json, !run.stopped);
    return completed ? exitNoDropout : exitFailed;
}
