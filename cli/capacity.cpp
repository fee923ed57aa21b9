#include "cli/capacity.h"

#include <algorithm>
#include <cstdio>

#include "cli/number_text.h"
#include "engine/plan.h"

bool parsePlayRatio(const std::string& text, PlayRatio& ratio)
{
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    uint32_t parts[2] = {0, 0};
    std::string pieces[2] = {text.substr(0, colon), text.substr(colon + 1)};
    for (int i = 0; i < 2; ++i) {
        if (pieces[i].size() > 4) return false;
        for (char c : pieces[i]) {
            if (c < '0' || c > '9') return false;
            parts[i] = parts[i] * 10 + static_cast<uint32_t>(c - '0');
        }
    }
    if (parts[0] == 0) return false;
    ratio.record = parts[0];
    ratio.play = parts[1];
    return true;
}

uint32_t playTracksFor(const PlayRatio& ratio, uint32_t recordTracks)
{
    uint64_t scaled = static_cast<uint64_t>(recordTracks) * ratio.play;
    return static_cast<uint32_t>((scaled + ratio.record / 2) / ratio.record);
}

uint32_t maxRecordTracksFor(const PlayRatio& ratio, uint32_t maxTracks)
{
    uint32_t count = maxTracks;
    while (count > 0 && count + playTracksFor(ratio, count) > maxTracks) --count;
    return count;
}

CapacitySearch startCapacitySearch(uint32_t limit)
{
    return CapacitySearch{limit, 0, 0};
}

uint32_t nextTrialCount(const CapacitySearch& search)
{
    if (search.failed == 0) {
        if (search.passed >= search.limit) return 0;
        return search.passed == 0 ? 1 : std::min(search.passed * 2, search.limit);
    }
    if (search.failed - search.passed <= 1) return 0;
    return search.passed + (search.failed - search.passed) / 2;
}

void noteTrial(CapacitySearch& search, uint32_t count, bool passed)
{
    if (passed)
        search.passed = std::max(search.passed, count);
    else if (search.failed == 0 || count < search.failed)
        search.failed = count;
}

SearchBound worstCaseSearch(uint32_t limit)
{
    // Every possible answer, played out.
    SearchBound worst{0, 0};
    for (uint32_t answer = 0; answer <= limit; ++answer) {
        CapacitySearch search = startCapacitySearch(limit);
        SearchBound bound{0, 0};
        for (uint32_t count; (count = nextTrialCount(search)) != 0; ++bound.trials) {
            bound.recordedFiles += count;
            noteTrial(search, count, count <= answer);
        }
        worst.trials = std::max(worst.trials, bound.trials);
        worst.recordedFiles = std::max(worst.recordedFiles, bound.recordedFiles);
    }
    return worst;
}

bool trialPasses(const SessionSummary& summary, double headroomPercent)
{
    if (summary.aborted || sessionHasDropout(summary)) return false;
    return 100.0 * lowestHeadroomBytes(summary) >= headroomPercent * summary.config.bufferBytes;
}

uint64_t playFileBytes(const SessionConfig& config)
{
    uint64_t request = config.requestSize;
    uint64_t played = framesDueBy(config.frameRate, config.durationNs) * config.frameBytes;
    return prerollRequests(config) * request + (played + request - 1) / request * request + request;
}

uint64_t trialDiskBytes(const SessionConfig& config, const PlayRatio& ratio, uint32_t recordTracks)
{
    return recordedBytesPerTrack(config) * recordTracks +
           playFileBytes(config) * playTracksFor(ratio, recordTracks);
}

static std::string ratioText(const PlayRatio& ratio)
{
    if (ratio.play == 0) return "recording only";
    return "recording and playing " + std::to_string(ratio.record) + ":" +
           std::to_string(ratio.play);
}

static std::string durationText(double seconds)
{
    char text[48];
    uint64_t whole = static_cast<uint64_t>(seconds + 0.5);
    if (whole < 60)
        std::snprintf(text, sizeof text, "%u s", static_cast<unsigned>(whole));
    else if (whole < 3600)
        std::snprintf(text, sizeof text, "%u min %u s", static_cast<unsigned>(whole / 60),
                      static_cast<unsigned>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%u h %u min", static_cast<unsigned>(whole / 3600),
                      static_cast<unsigned>(whole / 60 % 60));
    return text;
}

// Besides its own length a trial takes about a second, and each track file
// 3-7 ms to create, fill, close and remove (as measured on our build machine).
const double trialSetupSeconds = 1.0;
const double fileSetupSeconds = 0.005;

std::string formatCapacityPlan(const CapacitySetup& setup)
{
    const SessionConfig& config = setup.config;
    uint32_t plays = playTracksFor(setup.ratio, setup.limit);
    char line[512];
    std::string text;
    std::snprintf(line, sizeof line,
                  "Capacity search on %s: %s, %s buffer a track, %u KByte requests, trials of %s, "
                  "%s.\n",
                  setup.base.c_str(), sampleFormatLabel(setup.format).c_str(),
                  bufferText(setup.bufferSeconds).c_str(),
                  static_cast<unsigned>(config.requestSize >> 10),
                  secondsText(static_cast<double>(config.durationNs) / 1e9).c_str(),
                  ratioText(setup.ratio).c_str());
    text += line;
    std::snprintf(line, sizeof line,
                  "A trial passes with no dropout and at least %g %% of the buffer as headroom; "
                  "the count doubles from 1 until a trial fails, then the gap is halved, up to %u "
                  "recorded tracks.\n",
                  setup.headroomPercent, static_cast<unsigned>(setup.limit));
    text += line;
    uint64_t recorded = recordedBytesPerTrack(config) * setup.limit;
    std::string disk = "Disk: the largest trial records " + withThousands(recorded) +
                       " bytes into " + std::to_string(setup.limit) + " files";
    if (plays > 0)
        disk += " and plays " + std::to_string(plays) + " files of " +
                withThousands(playFileBytes(config)) + " bytes, written before the first trial " +
                "that needs them and removed at the end";
    disk += "; " + withThousands(trialDiskBytes(config, setup.ratio, setup.limit) + freeSpaceReserve) +
            " bytes must be free";
    if (setup.freeBytes != 0) disk += ", " + withThousands(setup.freeBytes) + " are";
    disk += ". Each trial's recorded files are removed before the next.\n";
    text += disk;
    SearchBound bound = worstCaseSearch(setup.limit);
    // Recordings for every trial; the playback files once.
    double files = static_cast<double>(bound.recordedFiles + plays);
    double seconds = bound.trials * (static_cast<double>(config.durationNs) / 1e9 + trialSetupSeconds) +
                     files * fileSetupSeconds;
    std::snprintf(line, sizeof line,
                  "Time: at most %u trials of %s, with their track files: about %s at most.\n",
                  static_cast<unsigned>(bound.trials),
                  secondsText(static_cast<double>(config.durationNs) / 1e9).c_str(),
                  durationText(seconds).c_str());
    text += line;
    if (setup.limitReason != limitAsked) {
        std::snprintf(line, sizeof line, "The search stops at %u recorded tracks: %s.\n",
                      static_cast<unsigned>(setup.limit),
                      setup.limitReason == limitDiskSpace ? "the disk has room for no more"
                                                          : "the open-file limit allows no more");
        text += line;
    }
    return text;
}

static std::string countsText(const PlayRatio& ratio, uint32_t recordTracks, bool canDo)
{
    uint32_t plays = playTracksFor(ratio, recordTracks);
    if (ratio.play == 0)
        return std::to_string(recordTracks) + (recordTracks == 1 ? " track" : " tracks");
    return std::to_string(recordTracks) + (canDo ? " and plays " : " and play ") +
           std::to_string(plays) + " tracks (" + std::to_string(recordTracks + plays) + " in all)";
}

std::string capacitySentence(const CapacitySetup& setup, const CapacitySearch& search)
{
    char tail[320];
    std::snprintf(tail, sizeof tail,
                  " of %s with a %s buffer and %u KByte requests for %s with no dropout and at "
                  "least %g %% headroom",
                  sampleFormatLabel(setup.format).c_str(), bufferText(setup.bufferSeconds).c_str(),
                  static_cast<unsigned>(setup.config.requestSize >> 10),
                  secondsText(static_cast<double>(setup.config.durationNs) / 1e9).c_str(),
                  setup.headroomPercent);
    if (search.passed == 0)
        return "This disk cannot record " + countsText(setup.ratio, 1, false) + tail + ".";
    std::string sentence = "This disk records ";
    if (search.failed == 0) sentence += "at least ";
    sentence += countsText(setup.ratio, search.passed, true) + tail;
    if (search.failed != 0)
        sentence += "; " + std::to_string(search.failed) +
                    (setup.ratio.play == 0 ? " did not." : " recorded did not.");
    else if (setup.limitReason == limitDiskSpace)
        sentence += " (the disk has room for no more).";
    else if (setup.limitReason == limitOpenFiles)
        sentence += " (the open-file limit allows no more).";
    else
        sentence += ".";
    return sentence;
}

std::string formatCapacityTable(const std::vector<CapacityTrial>& trials)
{
    std::string text;
    char line[200];
    std::snprintf(line, sizeof line, "%5s  %6s  %6s  %-6s  %8s  %-17s  %6s  %12s\n", "Trial",
                  "Record", "Play", "Result", "Dropouts", "Lowest headroom", "Busy", "p99 latency");
    text += line;
    uint32_t number = 0;
    for (const CapacityTrial& trial : trials) {
        const SessionSummary& summary = trial.summary;
        char headroom[40];
        uint32_t bytes = lowestHeadroomBytes(summary);
        std::snprintf(headroom, sizeof headroom, "%.2f s (%.0f %%)",
                      audioSeconds(bytes, summary.bytesPerSecond),
                      100.0 * bytes / summary.config.bufferBytes);
        char busy[16];
        std::snprintf(busy, sizeof busy, "%.1f %%", diskBusyPercent(summary));
        char latency[24];
        std::snprintf(latency, sizeof latency, "%.3f ms", summary.latency.p99Ns / 1e6);
        std::snprintf(line, sizeof line, "%5u  %6u  %6u  %-6s  %8u  %-17s  %6s  %12s\n",
                      static_cast<unsigned>(++number), static_cast<unsigned>(trial.recordTracks),
                      static_cast<unsigned>(trial.playTracks),
                      summary.aborted ? "error" : trial.passed ? "pass" : "fail",
                      static_cast<unsigned>(summary.recording.events + summary.playback.events),
                      headroom, busy, latency);
        text += line;
    }
    return text;
}

nlohmann::json capacityJson(const CapacitySetup& setup, const CapacitySearch& search,
                            const std::vector<CapacityTrial>& trials)
{
    using nlohmann::json;
    json list = json::array();
    for (const CapacityTrial& trial : trials) {
        json session = sessionJson(trial.summary);
        session["passed"] = trial.passed;
        list.push_back(session);
    }
    const char* reasons[] = {"asked", "disk-space", "open-files"};
    uint32_t plays = playTracksFor(setup.ratio, search.passed);
    return {{"test", "capacity"},
            {"baseFileName", setup.base},
            {"format",
             {{"rate", setup.format.rate},
              {"bits", setup.format.bits},
              {"channels", setup.format.channels},
              {"label", sampleFormatLabel(setup.format)}}},
            {"bufferSeconds", setup.bufferSeconds},
            {"requestSize", setup.config.requestSize},
            {"trialSeconds", static_cast<double>(setup.config.durationNs) / 1e9},
            {"headroomPercent", setup.headroomPercent},
            {"playRatio", {{"record", setup.ratio.record}, {"play", setup.ratio.play}}},
            {"limit", setup.limit},
            {"limitReason", reasons[setup.limitReason]},
            {"diskBytesNeeded", trialDiskBytes(setup.config, setup.ratio, setup.limit) + freeSpaceReserve},
            {"freeBytes", setup.freeBytes},
            {"recordTracks", search.passed},
            {"playTracks", plays},
            {"atLeast", search.passed > 0 && search.failed == 0},
            {"firstFailedRecordTracks", search.failed == 0 ? json() : json(search.failed)},
            {"sentence", capacitySentence(setup, search)},
            {"trials", list}};
}
