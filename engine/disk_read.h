#pragma once
#include "engine/front_end.h"
#include "engine/outcome.h"

// Opens the track files of an earlier write test, checks their number and
// size, reads them back round-robin in one timed pass and shows the results.
TestOutcome runReadTest(const FrontEnd& frontEnd);
