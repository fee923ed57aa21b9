// Text and JSON output of one finished test.
#pragma once
#include <string>

#include "cli/audio_analysis.h"
#include "cli/cli_front_end.h"
#include "engine/plan.h"

struct CliTestSummary {
    TestKind kind;
    TestOutcome outcome;
    TestPlan plan;
    std::string baseFileName;
    const CliTestRecord* record;
    VerdictFormats formats = reportVerdictFormats();  // judged in the extra lines
    uint32_t passIndex = 0;  // of passCount repeated passes; 0 when not repeated
    uint32_t passCount = 0;
};

// The results caption, then the report text exactly as the results box shows it.
void printTextResults(const CliTestSummary& summary, bool firstTest);
// One JSON object on one line.
void printJsonResults(const CliTestSummary& summary);
// A JSON value as one line of text. Never throws: bytes that are not UTF-8
// (a file name may hold any) are replaced by U+FFFD.
std::string jsonLine(const nlohmann::json& value);
// A command-line argument (a file name) as JSON text: on Windows converted
// from the ANSI code page the arguments arrive in, elsewhere as it is.
std::string jsonArgumentText(const std::string& argument);

// The per-request readings of a completed test, analysed; not valid otherwise.
PassAnalysis analyseSummary(const CliTestSummary& summary);
