// The command line's side of the engine's front-end operations: the base file
// name comes from the arguments, messages go to stderr, the progress bar is
// drawn on a terminal, and every figure of a test is kept for the output.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/results_report.h"
#include "engine/outcome.h"

// Readings of a monotonic nanosecond clock taken by the progress operations:
// the start of the (last) pass, and the end of each of its requests.
struct PassTimings {
    uint64_t startNs = 0;
    std::vector<uint64_t> requestEndNs;  // one per completed request
};

struct CliTestRecord {
    bool resultsShown = false;
    ResultsInputs inputs{};
    std::string reportText;
    std::string caption;
    std::vector<std::string> messages;  // message box texts, in order
    PassTimings timings;
};

// Arms the front end for one test on baseFileName.
void beginCliTest(const std::string& baseFileName, bool drawProgressBar);
const CliTestRecord& currentCliTest();

uint64_t monotonicNanoseconds();
