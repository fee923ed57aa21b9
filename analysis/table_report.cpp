#include "analysis/table_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis/json_text.h"
#include "analysis/number_text.h"
#include "engine/plan.h"

namespace {

// "44.1 kHz 16-bit mono" without the words a column has no room for.
std::string formatColumn(const SampleFormat& format)
{
    return sampleFormatLabel(format);
}

std::string countText(uint32_t units, const SearchMode& mode)
{
    if (mode.record > 0 && mode.play > 0)
        return withThousands(units * mode.record) + "+" + withThousands(units * mode.play);
    return withThousands(units * (mode.record + mode.play));
}

// A figure the cell stands behind, or at least one: found, at least (none
// failed), or not narrowed (one failed further up).
bool answered(const CellVerdict& verdict)
{
    return verdict.outcome == outcomeFound || verdict.outcome == outcomeAtLeast ||
           verdict.outcome == outcomeNotNarrowed;
}

// How far the first prediction was off the figure, in %: +10 predicted too many.
double predictionError(const TableCell& cell, const CellVerdict& verdict)
{
    return 100.0 * cell.predicted / verdict.answer.tracks - 100;
}

// "pred 194 -8 %, 3 trials": the prediction, how far off it was, the trials.
std::string accountText(const TableCell& cell, const CellVerdict& verdict)
{
    std::string text = cell.predicted == 0 ? std::string("no prediction")
                                           : "pred " + countText(cell.predicted, cell.mode);
    if (cell.predicted != 0 && answered(verdict)) {
        char error[24];
        std::snprintf(error, sizeof error, " %+.0f %%", predictionError(cell, verdict));
        text += error;
    }
    size_t trials = cell.results.size();
    if (trials > 0) text += ", " + std::to_string(trials) + (trials == 1 ? " trial" : " trials");
    return text;
}

// A cell as the table shows it: the confirmed count, or why there is none.
std::string cellText(const TableSetup& setup, const TableCell& cell)
{
    CellVerdict verdict = cellVerdict(setup, cell);
    std::string predicted = accountText(cell, verdict);
    switch (verdict.outcome) {
    case outcomeFound:
        return countText(verdict.answer.tracks, cell.mode) + " (" + predicted + ")";
    case outcomeAtLeast:
        return "at least " + countText(verdict.answer.tracks, cell.mode) + " (" + predicted + ")";
    case outcomeNotNarrowed:
        return "at least " + countText(verdict.answer.tracks, cell.mode) + ", " +
               countText(verdict.answer.firstFailed, cell.mode) + " failed (" + predicted + ")";
    case outcomeNoCountPassed:
        return "none (" + predicted + ")";
    case outcomeInterrupted:
        return "interrupted (" + predicted + ")";
    case outcomeError:
        return "error (" + predicted + ")";
    default:
        return (cell.started ? "not confirmed (" : "not reached (") + predicted + ")";
    }
}

std::string padded(const std::string& text, size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

nlohmann::json costLineJson(const CostLine& line)
{
    if (!line.valid) return nullptr;
    return {{"fixedNs", line.fixedNs},
            {"nsPerByte", line.nsPerByte},
            {"samples", line.samples},
            {"worstMissPercent", 100 * line.worstMiss}};
}

}  // namespace

std::string formatTablePlan(const TableSetup& setup)
{
    std::string text = "Tracks this disk keeps up with for a whole take, " + setup.date + ".\n";
    text += "Folder: " + setup.place.folder + " (made for the table, removed at the end).\n";
    if (setup.place.storageKnown) text += "Storage: " + storageText(setup.place.storage) + ".\n";
    text += std::string("Path: ") + cachingText(setup.settings.caching) +
            (setup.settings.caching == throughFileCache
                 ? "; a trial counts only once its recording is on the disk, drained at least at "
                   "its rate divided by the busy share the headroom rule allows"
                 : "; the disk itself") +
            ".\n";
    char line[600];
    std::snprintf(line, sizeof line,
                  "Rule: no dropout and at least %g %% of every %s buffer%s left as headroom; "
                  "requests of %s. Trials of %s (the shortest that can show a "
                  "dropout); a figure passed %u trials and lies below a count %.0f %% higher that "
                  "failed. Played files are read %s.\n",
                  setup.settings.headroomPercent, bufferText(setup.settings.bufferSeconds).c_str(),
                  presetText(setup.settings.preset).c_str(),
                  setup.settings.requestSize != 0
                      ? (std::to_string(setup.settings.requestSize >> 10) + " KByte").c_str()
                      : (withThousands(setup.settings.requestFrames) + " frames").c_str(),
                  secondsText(nsSeconds(setup.trialNs)).c_str(), static_cast<unsigned>(setup.settings.repeat),
                  100 * setup.step, setup.playedCold ? "cold" : "warm");
    text += line;
    std::string sizes;
    for (uint32_t size : setup.calibrationSizes)
        sizes += (sizes.empty() ? "" : ", ") + std::to_string(size >> 10);
    uint64_t estimate = tableEstimateNs(setup);
    bool measured = setup.measuredNs != 0;
    std::string drain;
    if (setup.drainBytesPerSecond > 0) {
        char figure[96];
        std::snprintf(figure, sizeof figure, "; through the file cache the device drained %.1f MB/s",
                      setup.drainBytesPerSecond / 1e6);
        drain = figure;
    }
    std::snprintf(line, sizeof line,
                  "The disk's time per request %s at %s KByte, writing and reading%s; every "
                  "cell's count is predicted from it and from what the cells before it showed, "
                  "then confirmed. %u cells; up to %u tracks in a trial; %s bytes of disk space "
                  "at most (%s are free).\n"
                  "Time: about %s at most (the measurement%s, each cell about four trials of "
                  "%s, the playback files at %.0f MB/s%s); it starts no trial that would end "
                  "later.\n",
                  measured ? "was measured" : "is measured first", sizes.c_str(), drain.c_str(),
                  static_cast<unsigned>(setup.settings.formats.size() * setup.settings.modes.size()),
                  static_cast<unsigned>(setup.maxTracks), withThousands(tableDiskBytes(setup)).c_str(),
                  !setup.freeKnown ? "unknown" : withThousands(setup.freeBytes).c_str(),
                  durationText(nsSeconds(estimate)).c_str(),
                  measured ? (" " + durationText(nsSeconds(setup.measuredNs))).c_str() : "",
                  durationText(nsSeconds(tableTrialNs(setup, setup.settings.formats.front()))).c_str(),
                  (setup.writeBytesPerSecond > 0 ? setup.writeBytesPerSecond : nominalPlaybackWriteRate) / 1e6,
                  setup.writeBytesPerSecond > 0 ? " as the disk wrote them" : "");
    text += line;
    if (setup.playLimitReason == limitTime) {
        std::snprintf(line, sizeof line,
                      "A trial plays at most %u tracks: the playback files of more would not be "
                      "written in the table's time at the speed this disk writes them.\n",
                      static_cast<unsigned>(setup.maxPlayed));
        text += line;
    }
    return text + otherSearchFoldersText(setup.place.others);
}

std::string formatTable(const TableSetup& setup, const TableRun& run)
{
    std::string text;
    char line[400];
    if (run.calibration.ran) {
        for (int refined = 0; refined < 2; ++refined) {
            const RequestCostModel& model = refined ? run.calibration.refined : run.calibration.model;
            if (refined && run.calibration.trialSamples.empty()) continue;
            for (int direction = 0; direction < 2; ++direction) {
                const CostLine& cost = direction == 0 ? model.write : model.read;
                if (!cost.valid) continue;
                std::snprintf(line, sizeof line,
                              "Time per request, %s, %s: %.3f ms + %.3f ms per 64 KByte (fitted "
                              "within %.0f %% at %u sizes)\n",
                              direction == 0 ? "writing" : "reading",
                              refined ? "as the trials measured it" : "measured first",
                              cost.fixedNs / 1e6, cost.nsPerByte * 65536 / 1e6,
                              100 * cost.worstMiss, static_cast<unsigned>(cost.samples));
                text += line;
            }
        }
        text += "\n";
    }
    const size_t first = 24, width = 38;
    std::string header = padded("", first);
    for (const SearchMode& mode : setup.settings.modes) header += padded(searchModeText(mode), width);
    text += header + "\n";
    for (const SampleFormat& format : setup.settings.formats) {
        std::string row = padded(formatColumn(format), first);
        for (const TableCell& cell : run.cells)
            if (cell.format.rate == format.rate && cell.format.bits == format.bits &&
                cell.format.channels == format.channels)
                row += padded(cellText(setup, cell), width);
        text += row + "\n";
    }
    char rule[400];
    std::snprintf(rule, sizeof rule,
                  "\nEach figure passed every one of its trials and lies within %.0f %% below a "
                  "count that failed; \"at least\": none failed up to the most a trial holds (or, "
                  "with the count that failed, not narrowed in time); \"pred\": the count predicted "
                  "before the cell's first trial, and how far it was off. Overdubs: "
                  "recorded+played.\n",
                  100 * setup.step);
    text += rule;
    for (const TableCell& cell : run.cells) {
        CellVerdict verdict = cellVerdict(setup, cell);
        if (verdict.outcome == outcomeAtLeast) {
            CellReach reach = cellReach(cell.rules, cell.results);
            std::snprintf(line, sizeof line,
                          "%s, %s: at %s its disk was %s busy with %.2f s of headroom left%s.\n",
                          sampleFormatLabel(cell.format).c_str(), searchModeText(cell.mode).c_str(),
                          countText(reach.count, cell.mode).c_str(),
                          busyText(100 * reach.busyShare).c_str(),
                          reach.headroomShare * setup.settings.bufferSeconds,
                          reach.beyond > reach.count
                              ? ("; its trials predict about " + countText(reach.beyond, cell.mode) +
                                 " (a prediction, not tried)")
                                    .c_str()
                              : "");
            text += line;
        }
        const SearchDrift& drift = verdict.drift;
        if (drift.count == 0 || drift.spread <= noticeableDrift) continue;
        std::snprintf(line, sizeof line,
                      "%s, %s: the disk's %s moved by %.0f %% between its trials of %u; the figure "
                      "is what it sustained in the slowest.\n",
                      sampleFormatLabel(cell.format).c_str(), searchModeText(cell.mode).c_str(),
                      drift.byDrain ? "drain speed" : "time per request", 100 * drift.spread,
                      static_cast<unsigned>(drift.count));
        text += line;
    }
    std::snprintf(line, sizeof line, "Time: %s.\n", durationText(nsSeconds(run.elapsedNs)).c_str());
    text += line;
    return text;
}

nlohmann::json tableStopName(TableStop stop)
{
    switch (stop) {
    case tableNotStopped: return nullptr;
    case tableNoTrackFits: return "no-track-fits";
    case tableDrainUnmeasurable: return "drain-unmeasurable";
    case tableTrialFailed: return "trial-failed";
    }
    return nullptr;
}

nlohmann::json tableJson(const TableSetup& setup, const TableRun& run, PathText pathText)
{
    using nlohmann::json;
    auto samplesJson = [](const std::vector<CostSample>& list) {
        json samples = json::array();
        for (const CostSample& sample : list)
            samples.push_back({{"requestSize", sample.requestSize},
                               {"direction", sample.write ? "write" : "read"},
                               {"requestNs", sample.requestNs}});
        return samples;
    };
    json cells = json::array();
    for (const TableCell& cell : run.cells) {
        CellVerdict verdict = cellVerdict(setup, cell);
        const SearchAnswer& answer = verdict.answer;
        json trials = json::array();
        for (const SearchTrial& trial : cell.trials) trials.push_back(capacityTrialJson(trial, pathText));
        const SearchDrift& drift = verdict.drift;
        bool isAnswered = answered(verdict);
        CellReach reach = cellReach(cell.rules, cell.results);
        cells.push_back(
            {{"format", sampleFormatJson(cell.format)},
             {"mode", {{"record", cell.mode.record}, {"play", cell.mode.play}, {"label", searchModeText(cell.mode)}}},
             {"requestSize", tableConfig(setup, cell.format).requestSize},
             {"predicted", cell.predicted == 0 ? json() : json(cell.predicted)},
             {"outcome", searchOutcomeName(verdict.outcome)},
             {"units", isAnswered ? json(answer.tracks) : json()},
             {"recordTracks", isAnswered ? json(answer.tracks * cell.mode.record) : json()},
             {"playTracks", isAnswered ? json(answer.tracks * cell.mode.play) : json()},
             {"firstFailed", answer.firstFailed == 0 ? json() : json(answer.firstFailed)},
             {"passes", answer.passes},
             {"limit", cell.rules.limit},
             {"predictionErrorPercent",
              isAnswered && cell.predicted != 0 ? json(predictionError(cell, verdict)) : json()},
             {"trialCount", cell.results.size()},
             {"largestTrial",
              reach.count == 0 ? json()
                               : json{{"units", reach.count},
                                      {"busyPercent", 100 * reach.busyShare},
                                      {"lowestHeadroomSeconds",
                                       reach.headroomShare * setup.settings.bufferSeconds},
                                      {"predictedUnits", reach.beyond == 0 ? json() : json(reach.beyond)}}},
             {"lowestHeadroomSeconds",
              answer.tracks == 0 ? json()
                                 : json(answer.lowestHeadroomShare * setup.settings.bufferSeconds)},
             {"drift", searchDriftJson(drift, "units")},
             {"elapsedSeconds", nsSeconds(cell.elapsedNs)},
             {"trials", trials}});
    }
    const RequestCostModel& model = run.calibration.model;
    uint64_t estimate = tableEstimateNs(setup);
    return {{"test", "table"},
            {"date", setup.date},
            {"baseFileName", pathText(setup.place.base)},
            {"searchFolder", pathText(setup.place.folder)},
            {"storage", setup.place.storageKnown ? storageJson(setup.place.storage, pathText(setup.place.folder))
                                                 : json()},
            {"cache", cachingName(setup.settings.caching)},
            {"bufferSeconds", setup.settings.bufferSeconds},
            {"preset", presetJson(setup.settings.preset)},
            {"headroomPercent", setup.settings.headroomPercent},
            {"requestKBytes", setup.settings.requestSize == 0 ? json() : json(setup.settings.requestSize >> 10)},
            {"trialSeconds", nsSeconds(setup.trialNs)},
            {"repeat", setup.settings.repeat},
            {"stepPercent", 100 * setup.step},
            {"maxTracks", setup.maxTracks},
            {"playedCold", setup.playedCold},
            {"diskBytesNeeded", tableDiskBytes(setup)},
            {"freeBytes", setup.freeBytes},
            {"freeBytesKnown", setup.freeKnown},
            {"estimateSeconds", nsSeconds(estimate)},
            {"elapsedSeconds", nsSeconds(run.elapsedNs)},
            {"interrupted", run.interrupted},
            {"stop", tableStopName(run.stop)},
            {"failure", trialFailureJson(run.failure, pathText)},
            {"model",
             {{"write", costLineJson(model.write)},
              {"read", costLineJson(model.read)},
              {"seconds", nsSeconds(run.calibration.ns)},
              {"mixedScale", run.calibration.mixedScale == 0 ? json() : json(run.calibration.mixedScale)},
              {"samples", samplesJson(run.calibration.samples)},
              {"refinedByTrials",
               {{"write", costLineJson(run.calibration.refined.write)},
                {"read", costLineJson(run.calibration.refined.read)},
                {"samples", samplesJson(run.calibration.trialSamples)}}}}},
            {"cells", cells}};
}

BarChart tableChart(const TableSetup& setup, const TableRun& run)
{
    BarChart chart;
    chart.title = std::string("Tracks for a whole take: ") + cachingText(setup.settings.caching) + ", " +
                  bufferText(setup.settings.bufferSeconds) + " buffers" +
                  presetText(setup.settings.preset) + ", " + setup.date;
    chart.yLabel = "tracks (recorded + played)";
    for (const SearchMode& mode : setup.settings.modes) chart.series.push_back(searchModeText(mode));
    chart.markName = "predicted";
    for (const SampleFormat& format : setup.settings.formats) {
        BarGroup group;
        group.category = sampleFormatLabel(format);
        for (const TableCell& cell : run.cells) {
            if (cell.format.rate != format.rate || cell.format.bits != format.bits ||
                cell.format.channels != format.channels)
                continue;
            CellVerdict verdict = cellVerdict(setup, cell);
            uint32_t perUnit = cell.mode.record + cell.mode.play;
            Bar bar{};
            bool isAnswered = answered(verdict);
            bar.value = isAnswered ? static_cast<double>(verdict.answer.tracks) * perUnit : -1;
            bar.mark = cell.predicted == 0 ? -1 : static_cast<double>(cell.predicted) * perUnit;
            bar.faint = verdict.outcome != outcomeFound;
            bar.label = (isAnswered ? (verdict.outcome == outcomeFound ? "" : "at least ") +
                                          countText(verdict.answer.tracks, cell.mode)
                                    : std::string("not confirmed")) +
                        " (" + accountText(cell, verdict) + ")";
            group.bars.push_back(bar);
        }
        chart.groups.push_back(group);
    }
    char note[240];
    std::snprintf(note, sizeof note,
                  "Each bar passed %u trials of %s with no dropout and %g %% headroom, below a "
                  "count that failed; pale: at least (nothing failed up to %u tracks); in "
                  "brackets the first prediction, how far off it was, and the trials.",
                  static_cast<unsigned>(setup.settings.repeat), secondsText(nsSeconds(setup.trialNs)).c_str(),
                  setup.settings.headroomPercent, static_cast<unsigned>(setup.maxTracks));
    chart.notes.push_back(note);
    chart.notes.push_back("Storage: " + (setup.place.storageKnown ? storageText(setup.place.storage)
                                                                  : std::string("unknown")));
    return chart;
}
