// The capacity search on the real disk, for any front end: its settings
// from a front end's choices, its limit, and the search with its trials in
// its own folder, then the take.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/capacity_plan.h"
#include "runs/session_runs.h"
#include "search/trial_bench.h"

// What a front end chooses for a capacity search.
struct CapacityChoice {
    SessionChoice session;
    PlayRatio ratio{1, 0};
    double headroomPercent = 50;
    uint32_t maxTracks = 4096;
    uint32_t repeat = 3;
    double takeMinutes = 0;  // a take at the answer, 0 for none
    bool removeLeftovers = false;  // remove folders earlier searches left beside the base
    std::string base;
};

// The settings of a search, or a message saying what is wrong with them.
std::string capacitySetupFor(const CapacityChoice& choice, CapacitySetup& setup);
// The limit of the search, lowered to what the open-file limit and the free
// space allow (once its folder is made: search/search_folder.h).
void limitCapacitySearch(CapacitySetup& setup, uint32_t maxTracks);

struct CapacityRun {
    SearchRun search;
    std::vector<CapacityTrial> trials;
    bool interrupted = false;
    TrialFailure failure;
    bool folderLeft = false;  // the folder held files the search did not make
    bool takeRan = false;     // the take at the answer ran to its end
    CapacityTrial take{};
    uint64_t freeBytesAfter = 0;  // once every file of the search is gone; 0 unknown
    uint64_t elapsedNs = 0;       // the search, the take and the clearing up
};

// Runs the search in setup's folder, then the take, then removes every file
// it made and the folder.
CapacityRun runCapacity(CapacitySetup& setup, const TrialWatch& watch);
