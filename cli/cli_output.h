// Text and JSON output of one finished test.
#pragma once
#include <string>

#include "analysis/audio_analysis.h"
#include "analysis/json_text.h"
#include "cli/cli_front_end.h"
#include "engine/plan.h"

struct CliTestSummary {
    TestKind kind;
    TestOutcome outcome;
    TestPlan plan;
    std::string baseFileName;
    const PassRecord* record;
    VerdictFormats formats = reportVerdictFormats();  // judged in the extra lines
    uint32_t passIndex = 0;  // of passCount repeated passes; 0 when not repeated
    uint32_t passCount = 0;
};

// The results caption, then the report text exactly as the results box shows it.
void printTextResults(const CliTestSummary& summary, bool firstTest);
// One JSON object on one line.
void printJsonResults(const CliTestSummary& summary);

// The per-request readings of a completed test, analysed; not valid otherwise.
PassAnalysis analyseSummary(const CliTestSummary& summary);
