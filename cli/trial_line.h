// The progress line of a search's trials on a terminal (capacity, table):
// the trial under way with its session's bar, and a line for each trial as
// it ends.
#pragma once
#include <string>

#include "search/trial_bench.h"

struct TrialLine {
    bool draw;           // on a terminal
    std::string prefix;  // where the trials stand (the table's cell); empty: "trial N"
    std::string caption;
};

// The watch that draws on line.
TrialWatch trialLineWatch(TrialLine& line);
