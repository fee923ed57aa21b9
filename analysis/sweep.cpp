#include "analysis/sweep.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "analysis/number_text.h"
#include "engine/results_report.h"
#include "engine/settings.h"

static TestPlan sweepPlan(uint32_t trackCount)
{
    // The request size takes no part in the file sizes.
    return planTest(trackCount, defaultRequestSize, fixedTransferBufferSize, fixedTestDataBudget);
}

SweepDiskNeed sweepDiskNeed(const uint32_t* trackCounts, uint32_t countCount)
{
    SweepDiskNeed need{};
    uint64_t largestFileSize[maxTrackFiles] = {};
    for (uint32_t i = 0; i < countCount; ++i) {
        TestPlan plan = sweepPlan(trackCounts[i]);
        need.largestTestBytes = std::max<uint64_t>(need.largestTestBytes, plan.totalTestBytes);
        for (uint32_t k = 0; k < plan.trackCount && k < maxTrackFiles; ++k)
            largestFileSize[k] = std::max<uint64_t>(largestFileSize[k], plan.perFileSize);
        if (i + 1 == countCount) need.bytesLeftAfter = plan.totalTestBytes;
    }
    need.freeBytesNeeded = need.largestTestBytes + freeSpaceReserve;
    for (uint64_t size : largestFileSize) need.largestFileSizesSum += size;
    return need;
}

uint32_t firstCountShortOfSpace(const uint32_t* trackCounts, uint32_t countCount,
                                uint64_t freeBytesNow, const uint64_t* existingSizes)
{
    for (uint32_t i = 0; i < countCount; ++i) {
        TestPlan plan = sweepPlan(trackCounts[i]);
        uint64_t freed = 0;
        for (uint32_t k = 0; k < plan.trackCount && k < maxTrackFiles; ++k) freed += existingSizes[k];
        if (!enoughFreeSpace(freeBytesNow + freed, plan.totalTestBytes)) return trackCounts[i];
    }
    return 0;
}

bool sweepRowCompleted(const SweepRow& row)
{
    return row.writeOutcome == testCompleted && row.readRun && row.readOutcome == testCompleted &&
           row.write.valid && row.read.valid;
}

SweepCell sweepCell(const SweepRow& row, uint32_t formatIndex)
{
    SweepCell cell{};
    if (!sweepRowCompleted(row) || formatIndex >= trackFormatCount) return cell;
    cell.known = true;
    cell.margin = std::min(row.write.formats[formatIndex].margin, row.read.formats[formatIndex].margin);
    cell.verdict = verdictFor(cell.margin);
    return cell;
}

std::string formatSweepNeed(const SweepDiskNeed& need)
{
    std::string text = "Disk space: more than " + withThousands(need.freeBytesNeeded) +
                       " bytes must be free (the largest test, " +
                       withThousands(need.largestTestBytes) + " bytes, plus the " +
                       withThousands(freeSpaceReserve) + "-byte reserve).\n";
    text += "Each track count rewrites BASE.001 .. BASE.N, every file an earlier count wrote, so "
            "the files never add up: the largest sizes of the 72 file numbers total " +
            withThousands(need.largestFileSizesSum) + " bytes but are never on disk at once; " +
            withThousands(need.bytesLeftAfter) + " bytes in 72 files stay afterwards.\n";
    return text;
}

static std::string rateText(TestOutcome outcome, const PassAnalysis& analysis)
{
    if (outcome != testCompleted || !analysis.valid) return testOutcomeName(outcome);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f",
                  bytesPerSecond(analysis.totalBytes, analysis.elapsedNs) / 1e6);
    return text;
}

std::string formatSweepTable(const std::vector<SweepRow>& rows, uint32_t requestSize,
                             const VerdictFormats& formats)
{
    char line[256];
    std::string text;
    std::snprintf(line, sizeof line,
                  "Sweep, %u KByte requests. Rates in MB/s (1 MB = 1,000,000 bytes, microsecond "
                  "clock). Verdict per format: the worse of write and read; margin = round budget "
                  "/ slowest round.\n",
                  static_cast<unsigned>(requestSize >> 10));
    text += line;
    std::snprintf(line, sizeof line, "%6s  %12s  %12s", "Tracks", "Write MB/s", "Read MB/s");
    text += line;
    // Columns of 20 characters, wider for longer format names.
    int width = 20;
    for (uint32_t f = 0; f < formats.count; ++f)
        width = std::max(width, static_cast<int>(std::strlen(formats.formats[f].name)));
    for (uint32_t f = 0; f < formats.count; ++f) {
        std::snprintf(line, sizeof line, "  %-*s", width, formats.formats[f].name);
        text += line;
    }
    while (text.back() == ' ') text.pop_back();
    text += "\n";
    for (const SweepRow& row : rows) {
        std::string readRate = row.readRun ? rateText(row.readOutcome, row.read) : "-";
        std::snprintf(line, sizeof line, "%6u  %12s  %12s", static_cast<unsigned>(row.trackCount),
                      rateText(row.writeOutcome, row.write).c_str(), readRate.c_str());
        text += line;
        for (uint32_t f = 0; f < formats.count; ++f) {
            SweepCell cell = sweepCell(row, f);
            char verdict[40];
            if (cell.known)
                std::snprintf(verdict, sizeof verdict, "%s (%.1fx)", verdictName(cell.verdict),
                              cell.margin);
            else
                std::snprintf(verdict, sizeof verdict, "-");
            std::snprintf(line, sizeof line, "  %-*s", width, verdict);
            text += line;
        }
        // No trailing blanks.
        while (!text.empty() && text.back() == ' ') text.pop_back();
        text += "\n";
    }
    return text;
}

nlohmann::json sweepNeedJson(const SweepDiskNeed& need)
{
    return {{"test", "sweep-disk-need"},
            {"freeBytesNeeded", need.freeBytesNeeded},
            {"largestTestBytes", need.largestTestBytes},
            {"reserveBytes", freeSpaceReserve},
            {"largestFileSizesSum", need.largestFileSizesSum},
            {"bytesLeftAfter", need.bytesLeftAfter}};
}

static nlohmann::json rateJson(TestOutcome outcome, const PassAnalysis& analysis)
{
    if (outcome != testCompleted || !analysis.valid) return nullptr;
    return bytesPerSecond(analysis.totalBytes, analysis.elapsedNs) / 1e6;
}

nlohmann::json sweepJson(const std::vector<SweepRow>& rows, uint32_t requestSize,
                         const VerdictFormats& verdictFormats)
{
    using nlohmann::json;
    json table = json::array();
    bool all = !rows.empty();
    for (const SweepRow& row : rows) {
        json formats = json::object();
        for (uint32_t f = 0; f < verdictFormats.count; ++f) {
            SweepCell cell = sweepCell(row, f);
            formats[verdictFormats.formats[f].name] =
                cell.known ? json{{"margin", cell.margin}, {"verdict", verdictName(cell.verdict)}}
                           : json();
        }
        all = all && sweepRowCompleted(row);
        table.push_back({{"trackCount", row.trackCount},
                         {"writeOutcome", testOutcomeName(row.writeOutcome)},
                         {"readOutcome", row.readRun ? json(testOutcomeName(row.readOutcome)) : json()},
                         {"writeRateMBytesPerSec", rateJson(row.writeOutcome, row.write)},
                         {"readRateMBytesPerSec",
                          row.readRun ? rateJson(row.readOutcome, row.read) : json()},
                         {"formats", formats}});
    }
    return {{"test", "sweep"},
            {"requestSize", requestSize},
            {"verdictBasis", "worse of write and read"},
            {"allCompleted", all},
            {"rows", table}};
}
