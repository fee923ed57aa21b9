// trakmon session and trakmon capacity: their options and checks, their
// progress on a terminal and their output; runs/session_runs.h runs them.
#pragma once
#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

#include "runs/session_runs.h"
#include "search/search_folder.h"
#include "search/trial_bench.h"

struct SessionOptions {
    uint32_t tracks = 1;
    uint32_t play = 0;
    uint32_t rate = 48000;
    uint32_t bits = 24;
    uint32_t channels = 1;
    double bufferSeconds = 5.0;
    uint32_t requestKBytes = 0;  // 0: a recorder's request of 65,536 frames
    double seconds = 60;         // capacity: 0 for the larger of 30 s and the shortest that can tell
    std::string cache = "bypass";
    bool json = false;
    std::string logPath;
    std::string plotPath;
    std::string base;
    // capacity
    std::string playRatio = "1:0";
    double headroomPercent = 50;
    uint32_t maxTracks = 4096;
    uint32_t repeat = 3;
    double takeMinutes = 0;
    bool removeLeftovers = false;
};

struct SessionCommands {
    CLI::App* session;
    CLI::App* capacity;
};

SessionCommands addSessionCommands(CLI::App& app, SessionOptions& session, SessionOptions& capacity);
// The format, buffer, request, length and path the options choose.
SessionChoice sessionChoiceOf(const SessionOptions& options);

// Exit status: 0 no dropout (capacity: the search found its answer), 1
// dropouts, a session too short to tell, or a failure, 2 bad usage.
int runSessionCommand(const SessionOptions& options);
int runCapacityCommand(const SessionOptions& options);

// Shared by both commands.
int usageError(const char* command, const std::string& message);
// Says why a session could not start; returns the exit status.
int reportSetupFailure(const SetupResult& setup, const SessionConfig& config);
// Says which request (or close) ended a session.
void reportAbort(bool readFailed, const std::string& file, bool closeFailed, bool writeBackFailed);
// Whether to draw a progress line: on a terminal, unless JSON is asked for.
bool drawsProgress(const SessionOptions& options);
// A search's place, watched: interrupts are heard from before its folder
// exists (the trial under way stops; a second interrupt ends the process,
// removing the folder's files on its way out) to after it is gone. False,
// said, when the folder cannot be made.
bool openWatchedPlace(SearchPlace& place);
void stopWatchingPlace();
// A search's plan on stdout: the text, or one JSON object of kind test.
void printPlan(const std::string& plan, const char* test, bool json);
// The progress line of a session: a bar of its time and its dropouts so far.
void drawSessionBar(const SessionRun& run, const std::string& caption);
