// trakmon capacity: search/capacity_runs.h runs it; here its plan, its
// trials on a terminal and its answer.
#pragma once
#include "cli/search_options.h"

// Exit status: 0 the search found its answer (or reached its limit), 1 any
// other end, 2 bad usage.
int runCapacityCommand(const SearchOptions& options);
