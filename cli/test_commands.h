// trakmon write, read, run and sweep: their options, and what they print of
// the passes that runs/pass_runs.h runs.
#pragma once
#include <cstdint>
#include <string>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

#include "engine/settings.h"

struct TestOptions {
    uint32_t tracks = defaultTrackCount;
    uint32_t requestKBytes = defaultRequestSize >> 10;
    uint32_t writeRequestKBytes = defaultRequestSize >> 10;
    uint32_t readRequestKBytes = defaultRequestSize >> 10;
    bool json = false;
    uint32_t repeat = 1;
    uint32_t rate = 0;  // 0: not chosen
    uint32_t bits = 0;
    std::string log;
    std::string plot;
    std::string base;
};

// The options of one of the commands; run has a request size per test.
void addTestOptions(CLI::App* command, TestOptions& options, bool separateRequests);

enum TestCommand { writeCommand, readCommand, runCommand, sweepCommand };
// Exit status: 0 every test completed, 1 a test did not, or the log or the
// plot could not be written, 2 an output clashes with a track file.
int runTestCommand(TestCommand command, const TestOptions& options);
