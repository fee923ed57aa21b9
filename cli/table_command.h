// trakmon table: its options, its progress on a terminal and its output;
// search/table_runs.h runs it.
#pragma once
#include <string>

#include <CLI/CLI.hpp>

struct TableOptions {
    std::string formats = "44100/16,48000/24,96000/24";
    std::string modes = "record,play,1:3";
    std::string cache = "bypass";
    double bufferSeconds = 5.0;
    double headroomPercent = 50;
    double seconds = 0;
    uint32_t requestKBytes = 0;
    uint32_t repeat = 2;
    uint32_t maxTracks = 4096;
    bool removeLeftovers = false;
    bool json = false;
    std::string plotPath;
    std::string base;
};

CLI::App* addTableCommand(CLI::App& app, TableOptions& options);
// Exit status: 0 every cell confirmed (or at least its most), 1 a cell not
// confirmed, an interruption or a failure, 2 bad usage.
int runTableCommand(const TableOptions& options);
