#include "engine/outcome.h"

const char* testOutcomeName(TestOutcome outcome)
{
    switch (outcome) {
    case testCompleted: return "completed";
    case testCancelled: return "cancelled";
    case testCreateFailed: return "create-failed";
    case testNotEnoughSpace: return "not-enough-space";
    case testOpenFailed: return "not-enough-track-files";
    case testFileTooSmall: return "file-too-small";
    case testTransferError: return "transfer-error";
    case testFrontEndIncomplete: return "front-end-incomplete";
    case testBadSettings: return "bad-settings";
    }
    return "unknown";
}
