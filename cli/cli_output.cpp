#include "cli/cli_output.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis/audio_analysis.h"
#include "cli/io_error_text.h"
#include "platform/console.h"

using nlohmann::json;

// The track file that failed and why; null when none did.
static json failureJson(const TrackFileFailure& failure)
{
    if (!failure.noted) return json();
    json object;
    object["file"] = platformArgumentToUtf8(failure.file);
    object["call"] = trackFileCallName(failure.call);
    addCauseJson(object, failure.why);
    return object;
}

PassAnalysis analyseSummary(const CliTestSummary& summary)
{
    const PassRecord& record = *summary.record;
    if (!record.resultsShown) return PassAnalysis{};
    return analysePass(record.timings.startNs, record.timings.requestEndNs, summary.plan.trackCount,
                       summary.plan.requestSize, summary.formats);
}

void printTextResults(const CliTestSummary& summary, bool firstTest)
{
    const PassRecord& record = *summary.record;
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
    const PassRecord& record = *summary.record;
    const TestPlan& plan = summary.plan;
    json object;
    object["test"] = summary.kind == writeTestKind ? "write" : "read";
    object["baseFileName"] = platformArgumentToUtf8(summary.baseFileName);
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
    object["failure"] = failureJson(record.failure);
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
