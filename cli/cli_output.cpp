#include "cli/cli_output.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/audio_analysis.h"

using nlohmann::json;

std::string jsonLine(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string jsonArgumentText(const std::string& name)
{
#ifdef _WIN32
    int length = static_cast<int>(name.size());
    int wideLength = MultiByteToWideChar(CP_ACP, 0, name.data(), length, nullptr, 0);
    if (wideLength <= 0) return name;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), length, &wide[0], wideLength);
    int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0,
                                         nullptr, nullptr);
    if (utf8Length <= 0) return name;
    std::string utf8(static_cast<size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], utf8Length, nullptr,
                        nullptr);
    return utf8;
#else
    return name;
#endif
}

PassAnalysis analyseSummary(const CliTestSummary& summary)
{
    const CliTestRecord& record = *summary.record;
    if (!record.resultsShown) return PassAnalysis{};
    return analysePass(record.timings.startNs, record.timings.requestEndNs, summary.plan.trackCount,
                       summary.plan.requestSize, summary.formats);
}

void printTextResults(const CliTestSummary& summary, bool firstTest)
{
    const CliTestRecord& record = *summary.record;
    if (!record.resultsShown) return;
    if (!firstTest) std::fputs("\n", stdout);
    std::fprintf(stdout, "%s\n%s", record.caption.c_str(), record.reportText.c_str());
    // The measured extras stand apart from the report, after a blank line.
    std::string extra = formatAnalysisLines(analyseSummary(summary));
    if (summary.passCount > 1) {
        char label[48];
        std::snprintf(label, sizeof label, "Pass %u of %u\n",
                      static_cast<unsigned>(summary.passIndex),
                      static_cast<unsigned>(summary.passCount));
        extra = label + extra;
    }
    if (!extra.empty()) std::fprintf(stdout, "\n%s", extra.c_str());
    std::fflush(stdout);
}

void printJsonResults(const CliTestSummary& summary)
{
    const CliTestRecord& record = *summary.record;
    const TestPlan& plan = summary.plan;
    json object;
    object["test"] = summary.kind == writeTestKind ? "write" : "read";
    object["baseFileName"] = jsonArgumentText(summary.baseFileName);
    object["trackCount"] = plan.trackCount;
    object["requestSize"] = plan.requestSize;
    object["requestKBytes"] = plan.requestSize >> 10;
    object["perFileSize"] = plan.perFileSize;
    object["totalTestBytes"] = plan.totalTestBytes;
    object["outcome"] = testOutcomeName(summary.outcome);
    if (summary.passCount > 1) {
        object["pass"] = summary.passIndex;
        object["passes"] = summary.passCount;
    }
    object["messages"] = record.messages;
    if (record.resultsShown) {
        object["totalBytes"] = record.inputs.totalBytes;
        object["elapsedMs"] = record.inputs.elapsedMs;
        object["rateKBytesPerSec"] = transferRate(record.inputs.totalBytes, record.inputs.elapsedMs);
    } else {
        object["totalBytes"] = nullptr;
        object["elapsedMs"] = nullptr;
        object["rateKBytesPerSec"] = nullptr;
    }
    json rates = json::object();
    for (const TrackFormat& format : trackFormats)
        // As the report prints them: two decimals.
        rates[format.name] =
            std::round(trackConfigurationRate(plan.trackCount, format.bytesPerSecond) * 100) / 100;
    object["trackConfigurationRates"] = rates;
    json analysis = analysisJson(analyseSummary(summary));
    for (const char* key : {"precise", "rounds", "requestLatency", "percentileMethod", "audio"})
        object[key] = analysis.is_null() ? json() : analysis[key];
    std::fprintf(stdout, "%s\n", jsonLine(object).c_str());
    std::fflush(stdout);
}
