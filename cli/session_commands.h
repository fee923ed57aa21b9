// trakmon session and trakmon capacity: their options, checks, progress on a
// terminal and output.
#pragma once
#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

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
};

struct SessionCommands {
    CLI::App* session;
    CLI::App* capacity;
};

SessionCommands addSessionCommands(CLI::App& app, SessionOptions& session, SessionOptions& capacity);
// Exit status: 0 no dropout (capacity: the search found its answer), 1
// dropouts, a session too short to tell, or a failure, 2 bad usage.
int runSessionCommand(const SessionOptions& options);
int runCapacityCommand(const SessionOptions& options);
