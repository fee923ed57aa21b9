// The command line's exit statuses, for every command.
#pragma once

const int exitSuccess = 0;  // the test completed; the session kept up; the search (or every cell) answered
const int exitFailure = 1;  // it did not: a dropout, a failure, an interruption, no answer
const int exitUsage = 2;    // bad usage: nothing was run
