#include "analysis/audio_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis/number_text.h"

uint64_t nearestRankPercentile(std::vector<uint64_t> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
    if (index >= values.size()) index = values.size() - 1;
    return values[index];
}

std::vector<uint64_t> roundDurations(uint64_t startNs, const std::vector<uint64_t>& requestEndNs,
                                     uint32_t trackCount)
{
    std::vector<uint64_t> rounds;
    if (trackCount == 0) return rounds;
    uint64_t previous = startNs;
    for (size_t last = trackCount - 1; last < requestEndNs.size(); last += trackCount) {
        rounds.push_back(requestEndNs[last] - previous);
        previous = requestEndNs[last];
    }
    return rounds;
}

std::vector<uint64_t> requestLatencies(uint64_t startNs, const std::vector<uint64_t>& requestEndNs)
{
    std::vector<uint64_t> latencies;
    latencies.reserve(requestEndNs.size());
    uint64_t previous = startNs;
    for (uint64_t reading : requestEndNs) {
        latencies.push_back(reading - previous);
        previous = reading;
    }
    return latencies;
}

uint64_t roundBudgetNs(uint32_t requestSize, uint32_t bytesPerSecond)
{
    if (bytesPerSecond == 0) return 0;
    uint64_t scaled = static_cast<uint64_t>(requestSize) * 1000000000u;
    return (scaled + bytesPerSecond / 2) / bytesPerSecond;
}

double streamMargin(uint64_t budgetNs, uint64_t slowestRoundNs)
{
    return static_cast<double>(budgetNs) / static_cast<double>(slowestRoundNs == 0 ? 1 : slowestRoundNs);
}

StreamVerdict verdictFor(double margin)
{
    if (margin >= comfortableMargin) return verdictCanStream;
    if (margin >= realTimeMargin) return verdictMarginal;
    return verdictCannotStream;
}

const char* verdictName(StreamVerdict verdict)
{
    switch (verdict) {
    case verdictCanStream: return "can";
    case verdictMarginal: return "marginal";
    default: return "cannot";
    }
}

std::string verdictSentence(StreamVerdict verdict, uint32_t trackCount, const char* formatName)
{
    char text[120];
    const char* lead = verdict == verdictCanStream  ? "can stream"
                       : verdict == verdictMarginal ? "marginal for"
                                                    : "cannot stream";
    std::snprintf(text, sizeof text, "%s %u %s of %s", lead, static_cast<unsigned>(trackCount),
                  trackCount == 1 ? "track" : "tracks", formatName);
    return text;
}

void judgeFormats(PassAnalysis& analysis, uint64_t slowestNs)
{
    for (uint32_t i = 0; i < analysis.formatCount; ++i) {
        FormatAnswer& answer = analysis.formats[i];
        answer.margin = streamMargin(answer.budgetNs, slowestNs);
        answer.verdict = verdictFor(answer.margin);
    }
}

PassAnalysis analysePass(uint64_t startNs, const std::vector<uint64_t>& requestEndNs,
                         uint32_t trackCount, uint32_t requestSize)
{
    return analysePass(startNs, requestEndNs, trackCount, requestSize, reportVerdictFormats());
}

LatencySummary summariseLatencies(const std::vector<uint64_t>& latencies)
{
    LatencySummary summary{};
    if (latencies.empty()) return summary;
    summary.minNs = *std::min_element(latencies.begin(), latencies.end());
    summary.maxNs = *std::max_element(latencies.begin(), latencies.end());
    summary.medianNs = nearestRankPercentile(latencies, 50);
    summary.p99Ns = nearestRankPercentile(latencies, 99);
    return summary;
}

PassAnalysis analysePass(uint64_t startNs, const std::vector<uint64_t>& requestEndNs,
                         uint32_t trackCount, uint32_t requestSize, const VerdictFormats& formats)
{
    PassAnalysis analysis{};
    analysis.trackCount = trackCount;
    analysis.requestSize = requestSize;
    std::vector<uint64_t> rounds = roundDurations(startNs, requestEndNs, trackCount);
    analysis.valid = !rounds.empty();
    if (!analysis.valid) return analysis;

    analysis.totalBytes = static_cast<uint64_t>(requestEndNs.size()) * requestSize;
    analysis.elapsedNs = requestEndNs.back() - startNs;
    analysis.roundCount = static_cast<uint32_t>(rounds.size());
    analysis.slowestRoundNs = *std::max_element(rounds.begin(), rounds.end());
    analysis.p99RoundNs = nearestRankPercentile(rounds, 99);

    analysis.latency = summariseLatencies(requestLatencies(startNs, requestEndNs));

    analysis.formatCount = formats.count;
    for (uint32_t i = 0; i < formats.count; ++i) {
        FormatAnswer& answer = analysis.formats[i];
        answer.name = formats.formats[i].name;
        answer.bytesPerSecond = formats.formats[i].bytesPerSecond;
        answer.budgetNs = roundBudgetNs(requestSize, answer.bytesPerSecond);
    }
    judgeFormats(analysis, analysis.slowestRoundNs);
    return analysis;
}

double bytesPerSecond(uint64_t bytes, uint64_t elapsedNs)
{
    if (elapsedNs == 0) return 0;
    return static_cast<double>(bytes) * 1e9 / static_cast<double>(elapsedNs);
}

std::string formatAnalysisLines(const PassAnalysis& analysis)
{
    if (!analysis.valid) return "";
    std::string lines;
    char line[240];
    double rate = bytesPerSecond(analysis.totalBytes, analysis.elapsedNs);
    std::snprintf(line, sizeof line,
                  "Precise time (microsecond clock, start of pass to last request): %.3f ms, "
                  "%.1f MB/s (%.0f KBytes/Sec)\n",
                  milliseconds(analysis.elapsedNs), rate / 1e6, std::floor(rate / 1000));
    lines += line;
    std::snprintf(line, sizeof line,
                  "Rounds of %u request(s), one per track: %u; slowest %.3f ms, "
                  "99th percentile %.3f ms\n",
                  static_cast<unsigned>(analysis.trackCount),
                  static_cast<unsigned>(analysis.roundCount), milliseconds(analysis.slowestRoundNs),
                  milliseconds(analysis.p99RoundNs));
    lines += line;
    std::snprintf(line, sizeof line,
                  "Request latency: min %.3f ms, median %.3f ms, 99th percentile %.3f ms, "
                  "max %.3f ms\n",
                  milliseconds(analysis.latency.minNs), milliseconds(analysis.latency.medianNs),
                  milliseconds(analysis.latency.p99Ns), milliseconds(analysis.latency.maxNs));
    lines += line;
    return lines + formatVerdictLines(analysis);
}

std::string formatVerdictLines(const PassAnalysis& analysis)
{
    std::string lines;
    char line[240];
    for (uint32_t i = 0; i < analysis.formatCount; ++i) {
        const FormatAnswer& answer = analysis.formats[i];
        std::snprintf(line, sizeof line,
                      "%s: round budget %.3f ms, margin %.1f x slowest round: %s\n", answer.name,
                      milliseconds(answer.budgetNs), answer.margin,
                      verdictSentence(answer.verdict, analysis.trackCount, answer.name).c_str());
        lines += line;
    }
    return lines;
}

nlohmann::json analysisJson(const PassAnalysis& analysis)
{
    using nlohmann::json;
    if (!analysis.valid) return nullptr;
    double rate = bytesPerSecond(analysis.totalBytes, analysis.elapsedNs);
    json precise = {
        {"elapsedNs", analysis.elapsedNs},
        {"elapsedMs", milliseconds(analysis.elapsedNs)},
        {"bytesPerSec", rate},
        {"rateMBytesPerSec", rate / 1e6},
        {"rateKBytesPerSec", static_cast<uint64_t>(rate / 1000)},
    };
    json rounds = {
        {"requestsPerRound", analysis.trackCount},
        {"count", analysis.roundCount},
        {"slowestNs", analysis.slowestRoundNs},
        {"p99Ns", analysis.p99RoundNs},
    };
    json latency = {
        {"minNs", analysis.latency.minNs},
        {"medianNs", analysis.latency.medianNs},
        {"p99Ns", analysis.latency.p99Ns},
        {"maxNs", analysis.latency.maxNs},
    };
    json formats = json::array();
    for (uint32_t i = 0; i < analysis.formatCount; ++i) {
        const FormatAnswer& answer = analysis.formats[i];
        formats.push_back({
            {"format", answer.name},
            {"bytesPerSecond", answer.bytesPerSecond},
            {"roundBudgetNs", answer.budgetNs},
            {"slowestRoundNs", analysis.slowestRoundNs},
            {"p99RoundNs", analysis.p99RoundNs},
            {"margin", answer.margin},
            {"verdict", verdictName(answer.verdict)},
            {"text", verdictSentence(answer.verdict, analysis.trackCount, answer.name)},
        });
    }
    return json{{"precise", precise},
                {"rounds", rounds},
                {"requestLatency", latency},
                {"percentileMethod", "nearest-rank"},
                {"audio", formats}};
}
