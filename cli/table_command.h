// trakmon table: search/table_runs.h runs it; here its plan, the cell and
// trial under way on a terminal, then the table (or its JSON) and, with
// --plot, its picture.
#pragma once
#include "cli/search_options.h"

// Exit status: 0 every cell confirmed (or at least its most), 1 a cell not
// confirmed, an interruption or a failure, 2 bad usage.
int runTableCommand(const SearchOptions& options);
