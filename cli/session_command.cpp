// trakmon session: a recorder's disk thread in real time, its log, its plot
// and its verdict.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "analysis/json_text.h"
#include "analysis/number_text.h"
#include "analysis/session_report.h"
#include "cli/exit_status.h"
#include "cli/common_options.h"
#include "cli/failure_words.h"
#include "cli/io_error_text.h"
#include "cli/output_file.h"
#include "cli/session_commands.h"
#include "cli/terminal_line.h"
#include "platform/console.h"

namespace {

// A log or plot named on the command line: checked before the session
// without changing it (made empty only when it did not exist), written in
// binary (the log as the session runs, the plot once it has run), and
// removed again when the session never started and the file is one this run
// made.
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

// The log as the session runs: a request's line is made when the request
// completes, and the lines go to the file whenever they hold logFlushBytes
// and at every progress tick, so that a session of any length needs the same
// memory. The file is emptied at its first write, once the session runs.
const size_t logFlushBytes = 256 * 1024;

struct SessionLog {
    const SessionOutput* output;
    uint32_t bytesPerSecond;
    std::string pending;
    OutputFile file;
    bool opened;
    bool openFailed;
};

void flushLog(SessionLog& log)
{
    if (log.output->path.empty()) return;
    if (!log.opened) {
        log.opened = true;
        log.openFailed = !openOutputFile(log.file, log.output->path, log.output->kind);
    }
    if (!log.pending.empty()) writeOutputFile(log.file, log.pending);
    log.pending.clear();
}

// The rest of the lines, then the close; false (and says why) when the log
// could not be written.
bool finishLog(SessionLog& log)
{
    flushLog(log);
    return !log.openFailed && closeOutputFile(log.file);
}

}  // namespace

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

namespace {

struct SessionFeed {
    SessionLog log;
    bool drawBar;
};

void logRequest(void* context, const SessionRun& run, const RequestRecord& request)
{
    SessionLog& log = static_cast<SessionFeed*>(context)->log;
    appendSessionLogLine(log.pending, run, request, log.bytesPerSecond);
    if (log.pending.size() >= logFlushBytes) flushLog(log);
}

void progressTick(void* context, const SessionRun& run)
{
    SessionFeed& feed = *static_cast<SessionFeed*>(context);
    flushLog(feed.log);
    if (feed.drawBar) drawSessionBar(run, "");
}

}  // namespace

int runSessionCommand(const SessionOptions& options)
{
    SessionConfig config;
    const SampleFormat& format = options.format;
    SettingsCheck check = sessionConfigFor(sessionChoiceOf(options), options.play, options.tracks, config);
    if (check.problem != settingsReady)
        return usageError("session", settingsProblemText(check, false));
    std::string problem;
    // Both files are checked first: a path that cannot be written fails
    // before the session, not after it.
    SessionOutput log{options.logPath, "log", false};
    SessionOutput plot{options.plotPath, "plot", false};
    if (!prepareOutput(log, problem) || !prepareOutput(plot, problem)) {
        discardOutput(log);
        return usageError("session", problem);
    }

    SessionFiles files{options.base, options.base, options.play + 1,
                       sessionChoiceOf(options).caching};
    SessionFeed feed{{&log, sampleFormatBytesPerSecond(format), sessionLogHeader, {}, false, false},
                     drawsProgress(options.json)};
    if (!log.path.empty()) feed.log.pending.reserve(logFlushBytes + 256);
    SessionRun run;
    SessionDigest digest;
    SetupResult setup = runWholeSession(
        run, digest, config, files,
        SessionWatch{&feed, progressTick, log.path.empty() ? nullptr : logRequest},
        FlushWhen{true, 0});
    if (feed.drawBar) clearTerminalLine();
    if (setup.status != setupReady) {
        discardOutput(log);
        discardOutput(plot);
        return reportSetupFailure(setup, config);
    }
    if (run.aborted)
        reportAbort(run.failedTrack < config.playTracks, sessionTrackFileName(run, run.failedTrack),
                    run.closeFailed, run.writeBackFailed, run.failedWhy);

    SessionSummary summary =
        summariseSession(run, digest, format, sessionChoiceOf(options).bufferSeconds);
    summary.preset = bufferingPresetOf(options.preset);
    bool written = log.path.empty() || finishLog(feed.log);
    written = (plot.path.empty() || writeOutput(plot, svgDocument(sessionCharts(digest, summary)))) &&
              written;
    if (options.json) {
        nlohmann::json object = sessionJson(summary, platformArgumentToUtf8);
        object["baseFileName"] = platformArgumentToUtf8(options.base);
        object["failure"] = nullptr;
        if (run.aborted) {
            nlohmann::json failure = {
                {"file", platformArgumentToUtf8(sessionTrackFileName(run, run.failedTrack))},
                {"call", run.writeBackFailed ? "write-back"
                         : run.closeFailed   ? "close"
                         : run.failedTrack < config.playTracks ? "read"
                                                               : "write"}};
            addCauseJson(failure, run.failedWhy);
            object["failure"] = failure;
        }
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s", formatSessionText(summary).c_str());
    }
    std::fflush(stdout);
    return sessionOutcome(summary) == sessionNoDropout && written ? exitSuccess : exitFailure;
}
