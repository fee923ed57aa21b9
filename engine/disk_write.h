#pragma once
#include "engine/outcome.h"

// Creates the track files next to the chosen base file, checks the free
// space, writes them round-robin in one timed pass and shows the results.
TestOutcome runWriteTest();
