// trakmon session: its options and checks, its progress on a terminal and
// its output; session/whole_session.h runs it. Also what the commands that
// run sessions share: the usage error, the progress line, the plan.
#pragma once
#include <cstdint>
#include <string>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

#include "session/whole_session.h"

struct SessionOptions {
    uint32_t tracks = 1;
    uint32_t play = 0;
    SampleFormat format{48000, 24, 1};
    double bufferSeconds = 5.0;
    uint32_t requestKBytes = 0;  // 0: a recorder's request of 65,536 frames
    double seconds = 60;
    std::string cache = "bypass";
    std::string preset;
    bool json = false;
    std::string logPath;
    std::string plotPath;
    std::string base;
};

CLI::App* addSessionCommand(CLI::App& app, SessionOptions& options);
// The format, buffer, request, length and path the options choose.
SessionChoice sessionChoiceOf(const SessionOptions& options);

// Exit status: 0 no dropout, 1 dropouts, a session too short to tell, or a
// failure, 2 bad usage.
int runSessionCommand(const SessionOptions& options);

// Says what is wrong with a command's usage; returns the exit status.
int usageError(const char* command, const std::string& message);
// Whether to draw a progress line: on a terminal, unless JSON is asked for.
bool drawsProgress(bool json);
// A search's plan on stdout: the text, or one JSON object of kind test.
void printPlan(const std::string& plan, const char* test, bool json);
// The progress line of a session: a bar of its time and its dropouts so far.
void drawSessionBar(const SessionRun& run, const std::string& caption);
