// The capacity search on the real disk, for any front end, from start to
// finish: its setup from the settings, its folder (watched for interrupts
// from before it exists), its limit, the search with its trials, the take,
// and how it ended.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/capacity_plan.h"
#include "search/search_folder.h"
#include "search/trial_bench.h"

// The limit of the search, lowered to what the open-file limit and the free
// space allow (once its folder is made).
void limitCapacitySearch(CapacitySetup& setup);

// Told as the search goes: its plan once its folder is made and its limit
// known (before any trial), then each trial.
struct CapacityWatch {
    void* context;
    void (*planned)(void* context, const CapacitySetup& setup);
    TrialWatch trials;
};

struct CapacityRun {
    SettingsCheck check;             // settings that cannot be searched: nothing ran
    FolderProblem folder = folderReady;  // a folder that could not be made: nothing ran
    IoStatus folderWhy{};
    CapacitySetup setup{};
    SearchRun search{};
    std::vector<SearchTrial> trials;
    bool interrupted = false;
    TrialFailure failure;
    bool folderLeft = false;  // the folder held files the search did not make
    bool takeRan = false;     // the take at the answer ran to its end
    SearchTrial take{};
    uint64_t freeBytesAfter = 0;  // once every file of the search is gone; 0 unknown
    uint64_t elapsedNs = 0;       // the search, the take and the clearing up
    CapacityVerdict verdict{};    // once it ran
};

// Runs the search in a folder of its own beside the base, then the take,
// then removes every file it made and the folder.
CapacityRun runCapacity(const SearchSettings& settings, const CapacityWatch& watch);
