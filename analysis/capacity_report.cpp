#include "analysis/capacity_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis/json_text.h"
#include "analysis/number_text.h"
#include "engine/plan.h"


// The plan's disk space: the largest trial's files, and what must be free.
static std::string planDiskText(const CapacitySetup& setup)
{
    const SessionConfig& config = setup.config;
    uint32_t plays = playTracksFor(setup.mode, setup.limit);
    uint64_t recorded = recordedBytesPerTrack(config) * setup.limit;
    std::string disk = "Disk: the largest trial records " + withThousands(recorded) +
                       " bytes into " + std::to_string(setup.limit) + " files";
    if (setup.takeNs != 0) {
        SessionConfig take = config;
        take.durationNs = setup.takeNs;
        disk += " (the take " + withThousands(recordedBytesPerTrack(take) * setup.limit) + ")";
    }
    if (plays > 0)
        disk += " and plays " + std::to_string(plays) + " files of " +
                withThousands(playFileBytes(config)) +
                " bytes, written once, round-robin as a recorder leaves an earlier take, and "
                "read " +
                (setup.playedCold ? "cold" : "warm (this system cannot drop a file's cached pages)");
    disk += "; " + withThousands(searchDiskBytes(setup, setup.limit) + freeSpaceReserve) +
            " bytes must be free";
    if (setup.freeKnown) disk += ", " + withThousands(setup.freeBytes) + " are";
    return disk + ". Every file is made in that folder, which is removed at the end.\n";
}

// The plan's time: the estimate and what it is made of, and the limit kept.
static std::string planTimeText(const CapacitySetup& setup)
{
    uint64_t search = searchEstimateNs(setup);
    std::string parts = std::to_string(plannedTrials(capacityRules(setup))) + " trials of about " +
                        durationText(nsSeconds(nominalTrialNs(setup)));
    if (playTracksFor(setup.mode, setup.limit) > 0)
        parts += ", writing the playback files in up to " +
                 durationText(nsSeconds(playbackWriteNs(setup))) + " at " +
                 std::to_string(nominalPlaybackWriteRate / 1000000) + " MB/s";
    if (setup.takeNs != 0)
        parts += ", then a take of " + durationText(nsSeconds(setup.takeNs)) + " at the answer";
    return "Time: about " + durationText(nsSeconds(capacityEstimateNs(setup))) + " (" + parts +
           "); it starts no trial that would end after " +
           durationText(nsSeconds(search + search / 2)) + ".\n";
}

std::string otherSearchFoldersText(const std::vector<SearchFolder>& others)
{
    std::string text;
    for (const SearchFolder& other : others)
        text += (other.inUse ? "In use by a search that runs now: " : "Left by an earlier search: ") +
                other.path + " (" + withThousands(other.bytes) + " bytes).\n";
    return text;
}

std::string formatCapacityPlan(const CapacitySetup& setup)
{
    const SessionConfig& config = setup.config;
    uint32_t bytesPerSecond = sampleFormatBytesPerSecond(setup.format);
    char line[640];
    std::string text;
    std::snprintf(line, sizeof line,
                  "Capacity search in %s: %s, %s buffer a track%s, %u KByte requests (%.3f s of "
                  "audio), %s, trials of %s, %s.\n",
                  setup.place.folder.c_str(), sampleFormatLabel(setup.format).c_str(),
                  bufferText(setup.settings.bufferSeconds).c_str(),
                  presetText(setup.settings.preset).c_str(),
                  static_cast<unsigned>(config.requestSize >> 10),
                  audioSeconds(config.requestSize, bytesPerSecond), cachingText(setup.settings.caching),
                  secondsText(nsSeconds(config.durationNs)).c_str(), searchModeText(setup.mode).c_str());
    text += line;
    if (setup.place.storageKnown) text += "Storage: " + storageText(setup.place.storage) + ".\n";
    if (setup.settings.caching == throughFileCache) {
        SearchRules rules = capacityRules(setup);
        std::snprintf(line, sizeof line,
                      "Through the file cache a trial counts only once its recording is on the "
                      "disk: it is flushed when the trial ends, and passes only if the device "
                      "drained it at least at the tracks' rate divided by %.0f %% (the busy share "
                      "the headroom rule allows), by the device's own counter.\n",
                      100 * rules.drainBusy);
        text += line;
        if (setup.drainBytesPerSecond > 0) {
            std::snprintf(line, sizeof line,
                          "Measured first, the device drained %.1f MB/s: the first trial goes to "
                          "the %u tracks whose recording that takes, not to where memory would "
                          "hide a busy share.\n",
                          setup.drainBytesPerSecond / 1e6,
                          static_cast<unsigned>(std::min<double>(setup.limit, drainAim(rules, {}))));
            text += line;
        }
    }
    std::snprintf(line, sizeof line,
                  "A trial passes with no dropout and at least %g %% of the buffer as headroom "
                  "(%.2f s; at best %.2f s is left beside one request). The search aims at the "
                  "count where trials start to fail, narrows it down, and tries the answer %s; "
                  "up to %u recorded tracks.\n",
                  setup.settings.headroomPercent, setup.settings.bufferSeconds * setup.settings.headroomPercent / 100.0,
                  audioSeconds(bestHeadroomBytes(config), bytesPerSecond),
                  setup.settings.repeat == 1 ? "once" : (std::to_string(setup.settings.repeat) + " times").c_str(),
                  static_cast<unsigned>(setup.limit));
    text += line;
    text += planDiskText(setup) + planTimeText(setup) + otherSearchFoldersText(setup.place.others);
    uint64_t leftBytes = 0;
    for (const SearchFolder& other : setup.place.others)
        if (!other.inUse) leftBytes += other.bytes;
    if (setup.limitReason != limitAsked) {
        std::snprintf(line, sizeof line, "The search stops at %u recorded tracks: %s",
                      static_cast<unsigned>(setup.limit),
                      setup.limitReason == limitDiskSpace ? "the disk has room for no more"
                                                          : "the open-file limit allows no more");
        text += line;
        if (setup.limitReason == limitDiskSpace && leftBytes != 0)
            text += " (" + withThousands(leftBytes) +
                    " bytes more are held by the folders earlier searches left)";
        text += ".\n";
    }
    return text;
}

static std::string countsText(const SearchMode& ratio, uint32_t recordTracks, bool canDo)
{
    uint32_t plays = playTracksFor(ratio, recordTracks);
    if (ratio.play == 0)
        return std::to_string(recordTracks) + (recordTracks == 1 ? " track" : " tracks");
    return std::to_string(recordTracks) + (canDo ? " and plays " : " and play ") +
           std::to_string(plays) + " tracks (" + std::to_string(recordTracks + plays) + " in all)";
}

// Why no count above the answer failed.
static std::string unbracketedText(const CapacitySetup& setup, const CapacityVerdict& verdict)
{
    const SearchAnswer& answer = verdict.answer;
    if (answer.tracks == answer.limit) {
        const char* why = setup.limitReason == limitDiskSpace   ? "the disk has room for no more"
                          : setup.limitReason == limitOpenFiles ? "the open-file limit allows no more"
                                                                : "the most it was asked to try";
        return "; no count failed: the search reached its limit of " +
               std::to_string(answer.limit) + " recorded tracks (" + why + ")";
    }
    if (verdict.end.outOfTime) return "; no count failed before the search reached its time limit";
    return "; no count failed in the " + std::to_string(verdict.trials) +
           " trials the search had, so the limit lies higher";
}

// The disk's speed between trials of one count, when it moved noticeably.
static std::string driftText(const CapacityVerdict& verdict)
{
    const SearchDrift& drift = verdict.drift;
    if (drift.count == 0 || drift.spread <= noticeableDrift) return "";
    char range[64];
    if (drift.byDrain)
        std::snprintf(range, sizeof range, "%.0f to %.0f MB/s", drift.slowest / 1e6, drift.fastest / 1e6);
    else
        std::snprintf(range, sizeof range, "%.3f to %.3f ms", drift.fastest / 1e6, drift.slowest / 1e6);
    char text[320];
    std::snprintf(text, sizeof text,
                  " Between its %u trials of %u tracks the disk's %s moved by %.0f %% (%s): the "
                  "answer is what the disk sustained in its slowest trial.",
                  static_cast<unsigned>(drift.trials), static_cast<unsigned>(drift.count),
                  drift.byDrain ? "drain speed" : "time per request", 100 * drift.spread, range);
    return text;
}

// Hours and minutes of recording that bytes hold at tracks tracks.
static std::string recordingTimeText(uint64_t bytes, uint32_t tracks, uint32_t bytesPerSecond)
{
    if (bytes <= freeSpaceReserve || tracks == 0) return "no";
    double seconds = static_cast<double>(bytes - freeSpaceReserve) / tracks / bytesPerSecond;
    return durationText(seconds);
}

// What the take showed, after the answer's sentence.
static std::string takeText(const CapacitySetup& setup, const CapacityVerdict& verdict)
{
    const CapacityTake& take = verdict.take;
    if (!take.ran) return "";
    const SessionSummary& summary = take.trial.summary;
    uint32_t bytesPerSecond = sampleFormatBytesPerSecond(setup.format);
    std::string text = " A take of " + durationText(nsSeconds(setup.takeNs)) + " at " +
                       std::to_string(take.trial.recordTracks) + ": ";
    char figures[200];
    if (sessionHasDropout(summary)) {
        std::snprintf(figures, sizeof figures, "%u dropouts, the first at %s",
                      static_cast<unsigned>(summary.recording.events + summary.playback.events),
                      durationText(nsSeconds(std::min(
                                       summary.recording.any ? summary.recording.firstNs : UINT64_MAX,
                                       summary.playback.any ? summary.playback.firstNs : UINT64_MAX)))
                          .c_str());
    } else {
        std::snprintf(figures, sizeof figures,
                      "no dropout, the lowest headroom %.2f s of a possible %.2f s%s",
                      audioSeconds(lowestHeadroomBytes(summary), bytesPerSecond),
                      audioSeconds(bestHeadroomBytes(setup.config), bytesPerSecond),
                      take.trial.passed ? "" : ", less than the headroom asked");
    }
    text += figures;
    if (take.freeBytes != 0)
        text += "; the free space (" + withThousands(take.freeBytes) + " bytes) holds " +
                recordingTimeText(take.freeBytes, take.trial.recordTracks, bytesPerSecond) +
                " of recording at " + std::to_string(take.trial.recordTracks) + " tracks";
    return text + ".";
}

std::string capacitySentence(const CapacitySetup& setup, const CapacityVerdict& verdict)
{
    const SearchAnswer& answer = verdict.answer;
    uint32_t bytesPerSecond = sampleFormatBytesPerSecond(setup.format);
    char what[320];
    std::snprintf(what, sizeof what,
                  " of %s with a %s buffer%s and %u KByte requests, %s, for %s with no dropout and "
                  "at least %g %% headroom",
                  sampleFormatLabel(setup.format).c_str(), bufferText(setup.settings.bufferSeconds).c_str(),
                  presetText(setup.settings.preset).c_str(),
                  static_cast<unsigned>(setup.config.requestSize >> 10), cachingText(setup.settings.caching),
                  secondsText(nsSeconds(setup.config.durationNs)).c_str(), setup.settings.headroomPercent);
    std::string trials = std::to_string(verdict.trials) + (verdict.trials == 1 ? " trial" : " trials");
    std::string failed = answer.firstFailed == 0 ? std::string()
                                                 : std::to_string(answer.firstFailed) + " failed";
    switch (verdict.outcome) {
    case outcomeInterrupted:
        return "The search was interrupted after " + trials + ", before it could answer.";
    case outcomeError:
        return "The search stopped at an error after " + trials + ", before it could answer.";
    case outcomeNoCountPassed:
        if (answer.limit == 0)
            return std::string("Not even one track fits: ") +
                   (setup.limitReason == limitDiskSpace ? "too little free disk space."
                                                        : "the open-file limit is too low.");
        return "This disk cannot record " + countsText(setup.mode, 1, false) + what + ".";
    case outcomeInconclusive:
        if (verdict.end.undecidable)
            return "The search cannot tell: through the file cache a trial counts only once its "
                   "data is on the disk, and how fast this storage writes it back cannot be "
                   "measured (it has no device counters of its own).";
        return "The search ran out of time before any count passed " +
               std::to_string(setup.settings.repeat) + " trials" +
               (answer.unconfirmed != 0 ? ": " + std::to_string(answer.unconfirmed) + " passed fewer"
                                        : std::string()) +
               (failed.empty() ? "" : ", " + failed) + ".";
    case outcomeFound:
    case outcomeNotNarrowed:
    case outcomeAtLeast:
    case outcomeTakeFailed:
        break;
    }
    char figures[240];
    std::snprintf(figures, sizeof figures,
                  ": %u of %u %s passed at %u, the lowest headroom %.2f s of a possible %.2f s",
                  static_cast<unsigned>(answer.passes), static_cast<unsigned>(answer.passes),
                  answer.passes == 1 ? "trial" : "trials",
                  static_cast<unsigned>(answer.tracks),
                  answer.lowestHeadroomShare * setup.config.bufferBytes / bytesPerSecond,
                  audioSeconds(bestHeadroomBytes(setup.config), bytesPerSecond));
    bool bracketed = answer.firstFailed != 0;
    bool tight = bracketed && answer.narrowed;
    std::string sentence = std::string("This disk records ") + (tight ? "" : "at least ") +
                           countsText(setup.mode, answer.tracks, true) + what + figures;
    if (verdict.outcome == outcomeTakeFailed)
        sentence = "This disk kept up with " + countsText(setup.mode, answer.tracks, true) + what +
                   figures + ", but not for a whole take";
    if (tight)
        sentence += "; " + failed + (setup.mode.play == 0 ? "" : " recorded") +
                    ", so the limit lies from " + std::to_string(answer.tracks) + " to " +
                    std::to_string(answer.firstFailed - 1);
    else if (bracketed)
        sentence += "; " + failed + (setup.mode.play == 0 ? "" : " recorded") +
                    ", but the search did not narrow the limit between them down to " +
                    std::to_string(static_cast<int>(100 * capacityRules(setup).closeEnough + 0.5)) +
                    " % in time";
    else
        sentence += unbracketedText(setup, verdict);
    return sentence + "." + driftText(verdict) + takeText(setup, verdict);
}

// "1.20 s, 310 MB/s" for a trial through the file cache.
static std::string drainCell(const SessionSummary& summary)
{
    char text[64];
    switch (summary.drain) {
    case drainNotNeeded: return "-";
    case drainNotRun: return "not flushed";
    case drainUnknown:
        std::snprintf(text, sizeof text, "%.2f s, unknown", summary.flush.ns / 1e9);
        return text;
    default:
        std::snprintf(text, sizeof text, "%.2f s, %.0f MB/s%s", summary.flush.ns / 1e9,
                      summary.drainBytesPerSecond / 1e6,
                      summary.drain == drainTooSlow ? " (slow)" : "");
        return text;
    }
}

std::string formatCapacityTable(const std::vector<SearchTrial>& trials)
{
    std::string text;
    char line[200];
    std::snprintf(line, sizeof line, "%5s  %6s  %6s  %-6s  %8s  %-17s  %7s  %12s  %-6s  %s\n",
                  "Trial", "Record", "Play", "Result", "Dropouts", "Lowest headroom", "Busy",
                  "p99 latency", "Played", "Flush, drain");
    text += line;
    uint32_t number = 0;
    for (const SearchTrial& trial : trials) {
        const SessionSummary& summary = trial.summary;
        char headroom[40];
        uint32_t bytes = lowestHeadroomBytes(summary);
        std::snprintf(headroom, sizeof headroom, "%.2f s (%.0f %%)",
                      audioSeconds(bytes, summary.bytesPerSecond),
                      100.0 * bytes / summary.config.bufferBytes);
        char latency[24];
        std::snprintf(latency, sizeof latency, "%.3f ms", summary.latency.p99Ns / 1e6);
        std::snprintf(line, sizeof line, "%5u  %6u  %6u  %-6s  %8u  %-17s  %7s  %12s  %-6s  %s\n",
                      static_cast<unsigned>(++number), static_cast<unsigned>(trial.recordTracks),
                      static_cast<unsigned>(trial.playTracks),
                      summary.aborted ? "error" : trial.passed ? "pass" : "fail",
                      static_cast<unsigned>(summary.recording.events + summary.playback.events),
                      headroom, busyText(diskBusyPercent(summary)).c_str(), latency,
                      trial.playTracks == 0 ? "-" : summary.playedCold ? "cold" : "warm",
                      drainCell(summary).c_str());
        text += line;
    }
    return text;
}

nlohmann::json capacityTrialJson(const SearchTrial& trial, PathText pathText)
{
    nlohmann::json session = sessionJson(trial.summary, pathText);
    session["passed"] = trial.passed;
    session["trialWallSeconds"] = nsSeconds(trial.wallNs);
    session["playbackWritingSeconds"] = nsSeconds(trial.preparationNs);
    return session;
}

nlohmann::json searchDriftJson(const SearchDrift& drift, const char* countKey)
{
    if (drift.count == 0) return nullptr;
    return {{countKey, drift.count},
            {"trials", drift.trials},
            {"measure", drift.byDrain ? "drain bytes per second" : "ns inside a request"},
            {"slowest", drift.slowest},
            {"fastest", drift.fastest},
            {"percent", 100 * drift.spread}};
}

nlohmann::json trialFailureJson(const TrialFailure& failure, PathText pathText)
{
    if (!failure.any) return nullptr;
    static const char* const setups[] = {"ready",           "open-file-limit", "no-memory",
                                         "play-file-missing", "play-file-too-small",
                                         "create-failed",   "not-enough-space"};
    const char* step = failure.setup.status != setupReady ? setups[failure.setup.status]
                       : failure.writeBackFailed          ? "write-back"
                       : failure.closeFailed              ? "close"
                       : failure.readFailed               ? "read"
                       : failure.requestFailed            ? "write"
                                                          : "playback-file";
    std::string file = failure.setup.status != setupReady ? failure.setup.fileName : failure.file;
    return {{"step", step}, {"file", file.empty() ? nlohmann::json() : nlohmann::json(pathText(file))}};
}

static nlohmann::json othersJson(const std::vector<SearchFolder>& others, PathText pathText)
{
    nlohmann::json list = nlohmann::json::array();
    for (const SearchFolder& other : others)
        list.push_back({{"path", pathText(other.path)},
                        {"bytes", other.bytes},
                        {"inUse", other.inUse}});
    return list;
}

nlohmann::json capacityJson(const CapacitySetup& setup, const CapacityVerdict& verdict,
                            const SearchRun& run, const std::vector<SearchTrial>& trials,
                            uint64_t elapsedNs, PathText pathText)
{
    const SearchAnswer& answer = verdict.answer;
    const SearchDrift& drift = verdict.drift;
    using nlohmann::json;
    json list = json::array();
    for (const SearchTrial& trial : trials) list.push_back(capacityTrialJson(trial, pathText));
    const char* reasons[] = {"asked", "disk-space", "open-files"};
    uint32_t bytesPerSecond = sampleFormatBytesPerSecond(setup.format);
    uint64_t estimate = capacityEstimateNs(setup);
    uint64_t search = searchEstimateNs(setup);
    return {{"test", "capacity"},
            {"baseFileName", pathText(setup.place.base)},
            {"searchFolder", pathText(setup.place.folder)},
            {"storage", setup.place.storageKnown ? storageJson(setup.place.storage, pathText(setup.place.folder))
                                           : json()},
            {"cache", cachingName(setup.settings.caching)},
            {"format", sampleFormatJson(setup.format)},
            {"bufferSeconds", setup.settings.bufferSeconds},
            {"preset", presetJson(setup.settings.preset)},
            {"requestSize", setup.config.requestSize},
            {"trialSeconds", nsSeconds(setup.config.durationNs)},
            {"headroomPercent", setup.settings.headroomPercent},
            {"bestHeadroomSeconds", audioSeconds(bestHeadroomBytes(setup.config), bytesPerSecond)},
            {"repeat", setup.settings.repeat},
            {"playRatio", {{"record", setup.mode.record}, {"play", setup.mode.play}}},
            {"limit", setup.limit},
            {"limitReason", reasons[setup.limitReason]},
            {"diskBytesNeeded", searchDiskBytes(setup, setup.limit) + freeSpaceReserve},
            {"freeBytes", setup.freeBytes},
            {"freeBytesKnown", setup.freeKnown},
            {"otherSearchFolders", othersJson(setup.place.others, pathText)},
            {"estimateSeconds", nsSeconds(estimate)},
            {"timeLimitSeconds", nsSeconds(search + search / 2)},
            {"elapsedSeconds", nsSeconds(elapsedNs)},
            {"searchSeconds", nsSeconds(run.elapsedNs)},
            {"outOfTime", verdict.end.outOfTime},
            {"outcome", searchOutcomeName(verdict.outcome)},
            {"recordTracks", answer.tracks},
            {"playTracks", playTracksFor(setup.mode, answer.tracks)},
            {"passes", answer.passes},
            {"atLeast", verdict.outcome == outcomeAtLeast},
            {"firstFailedRecordTracks", answer.firstFailed == 0 ? json() : json(answer.firstFailed)},
            {"unconfirmedRecordTracks", answer.unconfirmed == 0 ? json() : json(answer.unconfirmed)},
            {"lowestHeadroomSeconds",
             answer.tracks == 0 ? json()
                                : json(answer.lowestHeadroomShare * setup.config.bufferBytes /
                                       bytesPerSecond)},
            {"drift", searchDriftJson(drift, "recordTracks")},
            {"take", !verdict.take.ran
                         ? json()
                         : json{{"minutes", nsSeconds(setup.takeNs) / 60},
                                {"passed", verdict.take.trial.passed},
                                {"freeBytes", verdict.take.freeBytes},
                                {"recordingSeconds",
                                 verdict.take.freeBytes <= freeSpaceReserve
                                     ? 0.0
                                     : static_cast<double>(verdict.take.freeBytes - freeSpaceReserve) /
                                           verdict.take.trial.recordTracks / bytesPerSecond},
                                {"session", sessionJson(verdict.take.trial.summary, pathText)}}},
            {"sentence", capacitySentence(setup, verdict)},
            {"trials", list}};
}
