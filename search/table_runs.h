// trakmon table on the real disk, for any front end, from start to finish:
// its setup from the settings, its folder, the disk's time per request
// measured at a few sizes, every cell predicted from it, then confirmed in
// trials of its own, one format's playback files at a time, all in one
// folder beside the base, within the time stated first.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/table_plan.h"

// The most tracks a trial may hold, lowered to what the open-file limit and
// the free space allow (once its folder is made).
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

// Told as the table goes: its plan once its folder is made and its limit
// known (before any trial), where it is, and each trial.
struct TableWatch {
    void* context;
    void (*planned)(void* context, const TableSetup& setup);
    void (*progress)(void* context, const TableProgress& progress);
    TrialWatch trials;
};

// Runs the table in a folder of its own beside the base (made, locked and
// watched for interrupts), then removes every file it made and the folder.
// date: when it begins, as the front end writes it.
TableRun runTable(const SearchSettings& settings, const std::string& date, const TableWatch& watch);
