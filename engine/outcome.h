#pragma once

// How a test ended. The Windows program ignores it (every end has shown the
// user what there is to show); the command line turns it into an exit code.
enum TestOutcome {
    testCompleted,
    testCancelled,       // no base file chosen
    testCreateFailed,    // a track file could not be created
    testNotEnoughSpace,  // the free-space warning
    testOpenFailed,      // a track file could not be opened
    testFileTooSmall,    // a track file is shorter than the plan
    testTransferError,   // a request moved fewer bytes than asked
    testFrontEndIncomplete,  // a front end with a null operation: refused untouched
    testBadSettings,         // settings outside the choices: refused untouched
};

const char* testOutcomeName(TestOutcome outcome);
