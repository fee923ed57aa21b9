// trakmon table on the real disk, for any front end: the disk's time per
// request measured at a few sizes, every cell predicted from it, then
// confirmed in trials of its own, one format's playback files at a time,
// all in one folder beside the base, within the time stated first.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/table_plan.h"
#include "search/trial_bench.h"

// What a front end chooses for a table.
struct TableChoice {
    std::vector<SampleFormat> formats;
    std::vector<CellMode> modes;
    TrackCaching caching = bypassFileCache;
    double bufferSeconds = 5.0;
    double headroomPercent = 50;
    double seconds = 0;  // a trial's length; 0: the shortest that can show a dropout
    uint32_t requestKBytes = 0;  // 0: a recorder's 65,536 frames of each format
    uint32_t repeat = 2;
    uint32_t maxTracks = 4096;
    bool removeLeftovers = false;
    std::string base;
    std::string date;  // when the table begins, as the front end writes it
};

// The settings of a table, or a message saying what is wrong with them.
std::string tableSetupFor(const TableChoice& choice, TableSetup& setup);
// The most tracks a trial may hold, lowered to what the open-file limit and
// the free space allow (once its folder is made: search/search_folder.h).
void limitTable(TableSetup& setup);

// Where the table is, for a progress line.
struct TableProgress {
    uint32_t cell;   // 1-based; 0 while the disk's time per request is measured
    uint32_t cells;
    const TableCell* current;  // null while measuring
    uint32_t trial;            // of the cell, 1-based
    uint32_t requestSize;      // being measured
    uint64_t nsLeft;           // until the table's time is up
};

struct TableWatch {
    void* context;
    void (*progress)(void* context, const TableProgress& progress);
    TrialWatch trials;
};

// Runs the table in setup's folder (made and locked by makeSearchFolder),
// then removes every file it made and the folder.
TableRun runTable(TableSetup& setup, const TableWatch& watch);
