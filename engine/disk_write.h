#pragma once
#include "engine/front_end.h"
#include "engine/outcome.h"

// Creates the track files next to the chosen base file, checks the free
// space, writes them round-robin in one timed pass and shows the results.
TestOutcome runWriteTest(const FrontEnd& frontEnd);
