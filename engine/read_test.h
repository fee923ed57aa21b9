#pragma once
#include "engine/test_outcome.h"

// Opens the track files of an earlier write test, checks their number and
// size, reads them back round-robin in one timed pass and shows the results.
TestOutcome runReadTest();
