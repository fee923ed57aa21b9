#include "analysis/session_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>
#include <nlohmann/json.hpp>

#include "analysis/number_text.h"
#include "engine/track_name.h"

std::string storageText(const StorageInfo& storage)
{
    std::string text = storage.device[0] != '\0' ? storage.device : "no device";
    std::string about = storage.model[0] != '\0' ? storage.model : storage.driver;
    if (storage.backingFile[0] != '\0') about += std::string(about.empty() ? "" : ", ") + "backed by " + storage.backingFile;
    if (!about.empty()) text += " (" + about + ")";
    text += std::string(", ") + (storage.fileSystem[0] != '\0' ? storage.fileSystem : "unknown file system");
    if (storage.mountPoint[0] != '\0') text += std::string(" on ") + storage.mountPoint;
    if (storage.mountOptions[0] != '\0') text += std::string(" (") + storage.mountOptions + ")";
    return text;
}

nlohmann::json storageJson(const StorageInfo& storage, const std::string& folder)
{
    using nlohmann::json;
    auto field = [](const char* text) { return text[0] == '\0' ? json() : json(text); };
    return {{"folder", folder},
            {"device", field(storage.device)},
            {"model", field(storage.model)},
            {"driver", field(storage.driver)},
            {"backingFile", field(storage.backingFile)},
            {"fileSystem", field(storage.fileSystem)},
            {"mountPoint", field(storage.mountPoint)},
            {"mountOptions", field(storage.mountOptions)},
            {"writeCounter", field(storage.counter)}};
}

const char* cachingText(TrackCaching caching)
{
    return caching == bypassFileCache ? "file cache bypassed" : "through the file cache";
}

const char* cachingName(TrackCaching caching)
{
    return caching == bypassFileCache ? "bypass" : "os";
}

std::string presetText(BufferingPreset preset)
{
    if (preset == presetNone) return "";
    return std::string(" (Ardour's ") + bufferingPresetName(preset) + " preset)";
}

nlohmann::json presetJson(BufferingPreset preset)
{
    return preset == presetNone ? nlohmann::json() : nlohmann::json(bufferingPresetName(preset));
}

std::string busyText(double percent)
{
    char text[32];
    if (percent > 0 && percent < 0.05)
        return "< 0.1 %";
    std::snprintf(text, sizeof text, "%.1f %%", percent);
    return text;
}

static std::string tracksPhrase(const SessionConfig& config, bool canDo)
{
    char text[96];
    uint32_t last = config.playTracks > 0 ? config.playTracks : config.recordTracks;
    const char* noun = last == 1 ? "track" : "tracks";
    if (config.playTracks == 0)
        std::snprintf(text, sizeof text, "%s %u %s", canDo ? "records" : "cannot record",
                      static_cast<unsigned>(config.recordTracks), noun);
    else
        std::snprintf(text, sizeof text, "%s %u and %s %u %s", canDo ? "records" : "cannot record",
                      static_cast<unsigned>(config.recordTracks), canDo ? "plays" : "play",
                      static_cast<unsigned>(config.playTracks), noun);
    return text;
}

// Seconds cut down to what is shown, so that the stall named is survived.
static std::string stallText(double seconds)
{
    // The nanosecond added keeps an exact 0.1 s from being cut to 0.09 s.
    char text[32];
    if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.1f s", std::floor(seconds * 10 + 1e-9) / 10);
    else
        std::snprintf(text, sizeof text, "%.2f s", std::floor(seconds * 100 + 1e-9) / 100);
    return text;
}

// Every track's bytes per second together, recorded and played.
static double totalMegabytesPerSecond(const SessionSummary& summary)
{
    const SessionConfig& config = summary.config;
    return static_cast<double>(config.recordTracks + config.playTracks) * summary.bytesPerSecond / 1e6;
}

// What the flush of a recording through the file cache showed, for the verdict.
static std::string drainClause(const SessionSummary& summary)
{
    char text[160];
    if (summary.drain == drainNoBacklog)
        std::snprintf(text, sizeof text, "; its recording was on the disk %.2f s after the end",
                      nsSeconds(summary.flush.ns));
    else if (summary.drain == drainKeptPace)
        std::snprintf(text, sizeof text,
                      "; its recording was on the disk %.2f s after the end, drained at %.1f MB/s "
                      "(it needs %.1f MB/s)",
                      nsSeconds(summary.flush.ns), summary.drainBytesPerSecond / 1e6,
                      summary.neededDrainBytesPerSecond / 1e6);
    else
        return "";
    return text;
}

std::string sessionVerdict(const SessionSummary& summary)
{
    char text[400];
    SessionOutcome outcome = sessionOutcome(summary);
    if (outcome == sessionAborted) {
        std::snprintf(text, sizeof text, "session aborted after %.2f s: a request to %s failed",
                      nsSeconds(summary.elapsedNs), summary.failedFile.c_str());
        return text;
    }
    const SessionConfig& config = summary.config;
    std::string lead = tracksPhrase(config, outcome != sessionDropout && outcome != sessionDiskBehind) +
                       " of " +
                       sampleFormatLabel(summary.format) + " with a " +
                       bufferText(summary.bufferSeconds) + " buffer" + presetText(summary.preset) +
                       ", " + cachingText(summary.caching) +
                       (config.playTracks > 0 && !summary.playedCold ? ", played warm: " : ": ");
    std::string length = secondsText(nsSeconds(config.durationNs));
    char rate[96];
    std::snprintf(rate, sizeof rate, "%.2f MB/s in all, disk busy %s",
                  totalMegabytesPerSecond(summary), busyText(diskBusyPercent(summary)).c_str());
    if (outcome == sessionNoDropout) {
        double headroom = audioSeconds(lowestHeadroomBytes(summary), summary.bytesPerSecond);
        std::snprintf(text, sizeof text,
                      "no dropout in %s, lowest headroom %.2f s of a possible %.2f s: it survives "
                      "a %s stall; %s",
                      length.c_str(), headroom,
                      audioSeconds(bestHeadroomBytes(config), summary.bytesPerSecond),
                      stallText(headroom).c_str(), rate);
        return lead + text + drainClause(summary);
    } else if (outcome == sessionDiskBehind) {
        std::snprintf(text, sizeof text,
                      "no dropout in %s, but the disk drained the recording at %.1f MB/s, slower "
                      "than the %.1f MB/s it needs: in a longer take the backlog fills the "
                      "system's dirty limit and the recorder stalls; %s",
                      length.c_str(), summary.drainBytesPerSecond / 1e6,
                      summary.neededDrainBytesPerSecond / 1e6, rate);
    } else if (outcome == sessionDrainUnknown) {
        lead = "cannot tell whether this disk " + lead;
        std::snprintf(text, sizeof text,
                      "no dropout in %s, but this storage has no device counter, so how fast the "
                      "recording reached a disk is unknown (tmpfs, FUSE or a network share); %s",
                      length.c_str(), rate);
    } else if (outcome == sessionDropout) {
        uint32_t events = summary.recording.events + summary.playback.events;
        uint64_t first = std::min(summary.recording.any ? summary.recording.firstNs : UINT64_MAX,
                                  summary.playback.any ? summary.playback.firstNs : UINT64_MAX);
        std::snprintf(text, sizeof text, "%u %s in %s (%.1f a track), the first at %.2f s; %s",
                      static_cast<unsigned>(events), events == 1 ? "dropout" : "dropouts",
                      length.c_str(),
                      static_cast<double>(events) / (config.recordTracks + config.playTracks),
                      nsSeconds(first), rate);
    } else if (config.durationNs < shortestTellingNs(config)) {
        lead = "cannot tell whether this disk " + lead;
        std::snprintf(text, sizeof text,
                      "a session of %s is too short to show a dropout (it takes %s: three buffer "
                      "lengths and ten requests' audio); no dropout so far, %s",
                      length.c_str(), secondsText(nsSeconds(shortestTellingNs(config))).c_str(), rate);
    } else {
        lead = "cannot tell whether this disk " + lead;
        bool noWrites = config.recordTracks > 0 && summary.writeRequests == 0;
        std::snprintf(text, sizeof text, "no %s request was issued in %s; %s",
                      noWrites ? "write" : "read", length.c_str(), rate);
    }
    return lead + text;
}

static std::string directionLine(const char* name, const char* lost, const char* event,
                                 const DropoutTally& tally, const SessionSummary& summary)
{
    const SessionConfig& config = summary.config;
    char text[240];
    std::snprintf(text, sizeof text,
                  "%s: %s samples (%.3f s of audio) %s in %u %s%s; lowest headroom %.2f s (%.0f %%)\n",
                  name, withThousands(tally.frames).c_str(),
                  static_cast<double>(tally.frames) / config.frameRate, lost,
                  static_cast<unsigned>(tally.events), event, tally.events == 1 ? "" : "s",
                  audioSeconds(tally.lowestHeadroom, summary.bytesPerSecond),
                  100.0 * tally.lowestHeadroom / config.bufferBytes);
    return text;
}

// The flush of a recording through the file cache, for the figures.
static std::string flushLine(const SessionSummary& summary)
{
    char line[320];
    switch (summary.drain) {
    case drainNotNeeded:
        return "";
    case drainNotRun:
        return "Flush: none (the recording failed or was interrupted first)\n";
    case drainUnknown:
        std::snprintf(line, sizeof line,
                      "Flush: %.3f s; this storage has no device counter, so the drain speed is "
                      "unknown\n",
                      nsSeconds(summary.flush.ns));
        return line;
    default:
        std::snprintf(line, sizeof line,
                      "Flush: %.3f s to put the recording on the disk, its data in %.3f s, while "
                      "the device wrote %s bytes: %.1f MB/s (the recording needs %.1f MB/s)%s\n",
                      nsSeconds(summary.flush.ns), nsSeconds(summary.flush.dataNs),
                      withThousands(summary.flush.deviceBytes).c_str(),
                      summary.drainBytesPerSecond / 1e6, summary.neededDrainBytesPerSecond / 1e6,
                      summary.drain == drainNoBacklog ? "; too short to measure: nothing waited"
                                                      : "");
        return line;
    }
}

std::string formatSessionText(const SessionSummary& summary)
{
    const SessionConfig& config = summary.config;
    std::string text;
    char line[400];
    std::string recorded = config.recordTracks == 0
                               ? std::string("none")
                               : std::to_string(config.recordTracks) + " (" +
                                     summary.firstRecordFile + " .. " + summary.lastRecordFile + ")";
    std::snprintf(line, sizeof line,
                  "Session of %s: tracks recorded %s, played %u; %s, %s bytes/s a track; "
                  "%s buffer a track (%s bytes)%s; %u KByte requests, %s\n",
                  secondsText(nsSeconds(config.durationNs)).c_str(), recorded.c_str(),
                  static_cast<unsigned>(config.playTracks), sampleFormatLabel(summary.format).c_str(),
                  withThousands(summary.bytesPerSecond).c_str(),
                  bufferText(summary.bufferSeconds).c_str(),
                  withThousands(config.bufferBytes).c_str(), presetText(summary.preset).c_str(),
                  static_cast<unsigned>(config.requestSize >> 10), cachingText(summary.caching));
    text += line;
    if (summary.storageKnown) text += "Storage: " + summary.storageFolder + " on " + storageText(summary.storage) + "\n";
    if (config.playTracks > 0 && !summary.playedCold && summary.warmReads == 0)
        text += "Played files: warm; their cached pages could not be dropped on this system, so "
                "some reads may have come from memory\n";
    else if (config.playTracks > 0 && !summary.playedCold)
        text += "Played files: warm; " + withThousands(summary.warmReads) + " of " +
                withThousands(summary.readRequests) +
                " reads came after a file ran out and started over, and may have come from "
                "memory (files longer than the session are read cold to the end)\n";
    uint32_t overruns = summary.recording.events;
    uint32_t underruns = summary.playback.events;
    if (!sessionHasDropout(summary)) {
        text += summary.aborted ? "Dropouts: none before the request that failed\n" : "Dropouts: none\n";
    } else {
        bool recordingFirst =
            !summary.playback.any ||
            (summary.recording.any && summary.recording.firstNs <= summary.playback.firstNs);
        const DropoutTally& first = recordingFirst ? summary.recording : summary.playback;
        std::snprintf(line, sizeof line,
                      "Dropouts: %u (%u overrun%s, %u underrun%s); the first at %.3f s, in %s\n",
                      static_cast<unsigned>(overruns + underruns), static_cast<unsigned>(overruns),
                      overruns == 1 ? "" : "s", static_cast<unsigned>(underruns),
                      underruns == 1 ? "" : "s", nsSeconds(first.firstNs),
                      (recordingFirst ? summary.firstOverrunFile : summary.firstUnderrunFile).c_str());
        text += line;
    }
    if (config.recordTracks > 0)
        text += directionLine("Recording", "lost", "overrun", summary.recording, summary);
    if (config.playTracks > 0)
        text += directionLine("Playback", "missed", "underrun", summary.playback, summary);
    std::snprintf(line, sizeof line,
                  "Request latency: min %.3f ms, median %.3f ms, 99th percentile %.3f ms, "
                  "max %.3f ms (%s requests)\n",
                  milliseconds(summary.latency.minNs), milliseconds(summary.latency.medianNs),
                  milliseconds(summary.latency.p99Ns), milliseconds(summary.latency.maxNs),
                  withThousands(summary.requestCount).c_str());
    text += line;
    std::snprintf(line, sizeof line, "Disk busy: %s (%.3f s inside requests in %.3f s)\n",
                  busyText(diskBusyPercent(summary)).c_str(), nsSeconds(summary.busyNs),
                  nsSeconds(summary.elapsedNs));
    text += line;
    text += flushLine(summary);
    return text + "\n" + sessionVerdict(summary) + "\n";
}

static const char* drainName(DrainVerdict drain)
{
    const char* names[] = {"not-needed", "not-run", "unknown", "no-backlog", "kept-pace", "too-slow"};
    return names[drain];
}

static nlohmann::json directionJson(const DropoutTally& tally, uint32_t tracks,
                                    const SessionSummary& summary, const std::string& firstFile)
{
    using nlohmann::json;
    if (tracks == 0) return nullptr;
    return {{"tracks", tracks},
            {"dropouts", tally.events},
            {"samples", tally.frames},
            {"seconds", static_cast<double>(tally.frames) / summary.config.frameRate},
            {"firstSeconds", tally.any ? json(nsSeconds(tally.firstNs)) : json()},
            {"firstFile", tally.any ? json(firstFile) : json()},
            {"lowestHeadroomBytes", tally.lowestHeadroom},
            {"lowestHeadroomSeconds", audioSeconds(tally.lowestHeadroom, summary.bytesPerSecond)},
            {"lowestHeadroomPercent", 100.0 * tally.lowestHeadroom / summary.config.bufferBytes}};
}

nlohmann::json sessionJson(const SessionSummary& summary, PathText pathText)
{
    using nlohmann::json;
    const SessionConfig& config = summary.config;
    const char* outcomes[] = {"no-dropout", "dropout",     "too-short",
                              "aborted",    "disk-behind", "drain-unknown"};
    const char* outcome = outcomes[sessionOutcome(summary)];
    json object = {{"test", "session"},
            {"outcome", outcome},
            {"verdict", sessionVerdict(summary)},
            {"recordTracks", config.recordTracks},
            {"playTracks", config.playTracks},
            {"firstRecordFile", pathText(summary.firstRecordFile)},
            {"lastRecordFile", pathText(summary.lastRecordFile)},
            {"format", sampleFormatJson(summary.format)},
            {"cache", cachingName(summary.caching)},
            {"preset", presetJson(summary.preset)},
            {"playedCold", config.playTracks > 0 ? json(summary.playedCold) : json()},
            {"played", config.playTracks == 0 ? json() : json(summary.playedCold ? "cold" : "warm")},
            {"warmReads", config.playTracks > 0 ? json(summary.warmReads) : json()},
            {"bufferSeconds", summary.bufferSeconds},
            {"bufferBytes", config.bufferBytes},
            {"bestHeadroomSeconds", audioSeconds(bestHeadroomBytes(config), summary.bytesPerSecond)},
            {"shortestTellingSeconds", nsSeconds(shortestTellingNs(config))},
            {"totalBytesPerSecond",
             static_cast<uint64_t>(config.recordTracks + config.playTracks) * summary.bytesPerSecond},
            {"requestSize", config.requestSize},
            {"seconds", nsSeconds(config.durationNs)},
            {"elapsedNs", summary.elapsedNs},
            {"failedFile", summary.aborted ? json(pathText(summary.failedFile)) : json()},
            {"dropouts", summary.recording.events + summary.playback.events},
            {"dropoutsPerTrack", static_cast<double>(summary.recording.events + summary.playback.events) /
                                     (config.recordTracks + config.playTracks)},
            {"recording", directionJson(summary.recording, config.recordTracks, summary,
                                        pathText(summary.firstOverrunFile))},
            {"playback", directionJson(summary.playback, config.playTracks, summary,
                                       pathText(summary.firstUnderrunFile))},
            {"requests", summary.requestCount},
            {"writeRequests", summary.writeRequests},
            {"readRequests", summary.readRequests},
            {"requestLatency",
             {{"minNs", summary.latency.minNs},
              {"medianNs", summary.latency.medianNs},
              {"p99Ns", summary.latency.p99Ns},
              {"maxNs", summary.latency.maxNs}}},
            {"percentileMethod", "nearest-rank over log-linear buckets"},
            {"latencyRelativeError", latencyRelativeError},
            {"busyNs", summary.busyNs},
            {"diskBusyPercent", diskBusyPercent(summary)},
            {"storage", summary.storageKnown ? storageJson(summary.storage, pathText(summary.storageFolder))
                                             : json()},
            {"flush",
             summary.drain == drainNotNeeded
                 ? json()
                 : json{{"drain", drainName(summary.drain)},
                        {"seconds", summary.flush.ran ? json(nsSeconds(summary.flush.ns)) : json()},
                        {"dataSeconds",
                         summary.flush.ran ? json(nsSeconds(summary.flush.dataNs)) : json()},
                        {"deviceBytes", summary.flush.counted ? json(summary.flush.deviceBytes) : json()},
                        {"drainBytesPerSecond",
                         summary.drainBytesPerSecond > 0 ? json(summary.drainBytesPerSecond) : json()},
                        {"neededBytesPerSecond", summary.neededDrainBytesPerSecond}}}};
    object["format"]["bytesPerSecond"] = summary.bytesPerSecond;
    return object;
}

const char sessionLogHeader[] =
    "request,file_number,direction,bytes,start_us,end_us,latency_us,buffer_bytes,headroom_ms\n";

// A log line is written forward into a fixed buffer with std::to_chars,
// then appended at once: it is made while the session runs.
namespace {

struct LineWriter {
    char text[256];
    char* at = text;
};

void put(LineWriter& line, uint64_t value)
{
    line.at = std::to_chars(line.at, line.text + sizeof line.text, value).ptr;
}

void put(LineWriter& line, const char* text)
{
    size_t length = std::strlen(text);
    line.at = static_cast<char*>(std::memcpy(line.at, text, length)) + length;
}

// thousandths as "whole.fff", as "%.3f" prints thousandths / 1e3.
void putThousandths(LineWriter& line, uint64_t thousandths)
{
    put(line, thousandths / 1000);
    char fraction[8];
    std::to_chars(fraction, fraction + sizeof fraction, thousandths % 1000 + 1000);
    fraction[0] = '.';
    fraction[4] = '\0';
    put(line, fraction);
}

// The headroom's milliseconds as "%.3f" prints 1e3 * bytes / bytesPerSecond,
// in integers; only an exact tie, where the floating-point rounding decides,
// is printed as before.
void putHeadroomMs(LineWriter& line, uint32_t bytes, uint32_t bytesPerSecond)
{
    uint64_t scaled = uint64_t(bytes) * 1000000;
    uint64_t rest = scaled % bytesPerSecond;
    if (2 * rest == bytesPerSecond) {
        char tie[48];
        std::snprintf(tie, sizeof tie, "%.3f", 1e3 * audioSeconds(bytes, bytesPerSecond));
        put(line, tie);
        return;
    }
    putThousandths(line, scaled / bytesPerSecond + (2 * rest > bytesPerSecond ? 1 : 0));
}

}  // namespace

void appendSessionLogLine(std::string& text, const SessionRun& run, const RequestRecord& request,
                          uint32_t bytesPerSecond)
{
    const SessionConfig& config = run.model.config;
    bool play = request.track < config.playTracks;
    uint32_t file = play ? request.track + 1
                         : run.files.firstRecordNumber + request.track - config.playTracks;
    LineWriter line;
    put(line, run.model.requestCount);
    put(line, ",");
    put(line, file);
    put(line, play ? ",read," : ",write,");
    put(line, config.requestSize);
    put(line, ",");
    putThousandths(line, request.startNs);
    put(line, ",");
    putThousandths(line, request.endNs);
    put(line, ",");
    putThousandths(line, request.endNs - request.startNs);
    put(line, ",");
    put(line, request.level);
    put(line, ",");
    putHeadroomMs(line, requestHeadroomBytes(config, request), bytesPerSecond);
    put(line, "\n");
    text.append(line.text, line.at);
}

namespace {

ChartPoint chartPoint(uint64_t atNs, double y)
{
    return {nsSeconds(atNs), y};
}

}  // namespace

std::vector<SvgChart> sessionCharts(const SessionDigest& digest, const SessionSummary& summary)
{
    const SessionConfig& config = summary.config;
    uint64_t span = std::max<uint64_t>(summary.elapsedNs, 1);

    SvgChart headroom;
    headroom.title = "Lowest headroom of each interval: " + std::to_string(config.recordTracks) +
                     " recorded, " +
                     (config.playTracks > 0 ? std::to_string(config.playTracks) + " played, " : "") +
                     bufferText(summary.bufferSeconds) + " buffer, " +
                     cachingText(summary.caching);
    headroom.x = {"session time (s)", false, 0, nsSeconds(span)};
    headroom.y = {"headroom at the request (s of audio)", false, 0, summary.bufferSeconds};
    SvgChart latency;
    latency.title = "Slowest request of each interval";
    latency.x = headroom.x;
    latency.y = {"latency (ms)", true, 0, 0};
    const char* names[2] = {"recording (writes)", "playback (reads)"};
    for (int direction = 0; direction < 2; ++direction) {
        if ((direction == 0 ? config.recordTracks : config.playTracks) == 0) continue;
        ChartSeries lowest{names[direction], "", {}, true};
        ChartSeries slowest{names[direction], "", {}, false};
        for (const ChartInterval& interval : digest.intervals) {
            if (!interval.has[direction]) continue;
            lowest.points.push_back(
                chartPoint(interval.lowestAtNs[direction],
                           audioSeconds(interval.lowestHeadroom[direction], summary.bytesPerSecond)));
            slowest.points.push_back(
                chartPoint(interval.slowestAtNs[direction], milliseconds(interval.slowestNs[direction])));
        }
        headroom.series.push_back(lowest);
        latency.series.push_back(slowest);
    }
    headroom.references.push_back({0, "dropout", "#d62728"});
    latency.references.push_back(
        {summary.bufferSeconds * 1e3, "a whole buffer (" + bufferText(summary.bufferSeconds) + ")",
         "#d62728"});
    bool dropout = sessionHasDropout(summary);
    if (dropout) {
        uint64_t first = std::min(summary.recording.any ? summary.recording.firstNs : UINT64_MAX,
                                  summary.playback.any ? summary.playback.firstNs : UINT64_MAX);
        char label[64];
        std::snprintf(label, sizeof label, "first dropout at %.2f s", nsSeconds(first));
        headroom.marks.push_back({{nsSeconds(first), 0}, label});
    }
    return {headroom, latency};
}
