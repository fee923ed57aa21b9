#include "analysis/pass_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

static double preciseRate(const PassAnalysis& analysis)
{
    return bytesPerSecond(analysis.totalBytes, analysis.elapsedNs);
}

RepeatSummary summarisePasses(TestKind kind, const std::vector<PassFigures>& passes)
{
    RepeatSummary summary{};
    summary.kind = kind;
    summary.passCount = static_cast<uint32_t>(passes.size());
    summary.valid = !passes.empty();
    for (const PassFigures& pass : passes) summary.valid = summary.valid && pass.analysis.valid;
    if (!summary.valid) return summary;

    // Nearest rank ceil(K / 2) of the ascending rates.
    size_t rank = (passes.size() + 1) / 2 - 1;
    std::vector<size_t> byPrecise(passes.size());
    std::vector<uint32_t> reports;
    for (size_t i = 0; i < passes.size(); ++i) {
        byPrecise[i] = i;
        reports.push_back(passes[i].reportRate);
    }
    std::stable_sort(byPrecise.begin(), byPrecise.end(), [&](size_t a, size_t b) {
        return preciseRate(passes[a].analysis) < preciseRate(passes[b].analysis);
    });
    std::sort(reports.begin(), reports.end());
    size_t median = byPrecise[rank];
    summary.medianPass = static_cast<uint32_t>(median + 1);
    summary.preciseMedian = preciseRate(passes[median].analysis);
    summary.preciseMin = preciseRate(passes[byPrecise.front()].analysis);
    summary.preciseMax = preciseRate(passes[byPrecise.back()].analysis);
    summary.reportMedian = reports[rank];
    summary.reportMin = reports.front();
    summary.reportMax = reports.back();

    summary.verdicts = passes[median].analysis;
    size_t slowest = 0;
    for (size_t i = 0; i < passes.size(); ++i) {
        if (passes[i].analysis.slowestRoundNs > passes[slowest].analysis.slowestRoundNs)
            slowest = i;
        summary.verdicts.p99RoundNs =
            std::max(summary.verdicts.p99RoundNs, passes[i].analysis.p99RoundNs);
    }
    summary.slowestPass = static_cast<uint32_t>(slowest + 1);
    summary.verdicts.slowestRoundNs = passes[slowest].analysis.slowestRoundNs;
    judgeFormats(summary.verdicts, summary.verdicts.slowestRoundNs);
    return summary;
}

static const char* kindName(TestKind kind)
{
    return kind == writeTestKind ? "write" : "read";
}

std::string formatSummaryLines(const RepeatSummary& summary)
{
    if (!summary.valid) return "";
    std::string lines;
    char line[240];
    std::snprintf(line, sizeof line,
                  "Summary of %u %s passes (quote the median of 5 or more passes):\n",
                  static_cast<unsigned>(summary.passCount), kindName(summary.kind));
    lines += line;
    std::snprintf(line, sizeof line,
                  "Actual Transfer Rate: median %u KBytes/Sec, min %u KBytes/Sec, max %u "
                  "KBytes/Sec\n",
                  static_cast<unsigned>(summary.reportMedian),
                  static_cast<unsigned>(summary.reportMin),
                  static_cast<unsigned>(summary.reportMax));
    lines += line;
    std::snprintf(line, sizeof line,
                  "Precise rate: median %.1f MB/s (pass %u), min %.1f MB/s, max %.1f MB/s\n",
                  summary.preciseMedian / 1e6, static_cast<unsigned>(summary.medianPass),
                  summary.preciseMin / 1e6, summary.preciseMax / 1e6);
    lines += line;
    std::snprintf(line, sizeof line, "Slowest round of all passes: %.3f ms (pass %u)\n",
                  static_cast<double>(summary.verdicts.slowestRoundNs) / 1e6,
                  static_cast<unsigned>(summary.slowestPass));
    lines += line;
    return lines + formatVerdictLines(summary.verdicts);
}

nlohmann::json summaryJson(const RepeatSummary& summary)
{
    using nlohmann::json;
    if (!summary.valid) return nullptr;
    json analysis = analysisJson(summary.verdicts);
    return {{"test", std::string(kindName(summary.kind)) + "-summary"},
            {"passes", summary.passCount},
            {"trackCount", summary.verdicts.trackCount},
            {"requestSize", summary.verdicts.requestSize},
            {"medianMethod", "nearest-rank"},
            {"medianPass", summary.medianPass},
            {"rateKBytesPerSec",
             {{"median", summary.reportMedian},
              {"min", summary.reportMin},
              {"max", summary.reportMax}}},
            {"preciseRateMBytesPerSec",
             {{"median", summary.preciseMedian / 1e6},
              {"min", summary.preciseMin / 1e6},
              {"max", summary.preciseMax / 1e6}}},
            {"slowestRound",
             {{"ns", summary.verdicts.slowestRoundNs}, {"pass", summary.slowestPass}}},
            {"audio", analysis["audio"]}};
}
