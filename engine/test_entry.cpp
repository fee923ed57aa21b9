#include "engine/test_entry.h"

static bool isCompleteFrontEnd(const FrontEnd& frontEnd)
{
    return frontEnd.chooseWriteBaseFile != nullptr && frontEnd.chooseReadBaseFile != nullptr &&
           frontEnd.openProgress != nullptr && frontEnd.showProgressCaption != nullptr &&
           frontEnd.advanceProgress != nullptr && frontEnd.restartProgress != nullptr &&
           frontEnd.closeProgress != nullptr && frontEnd.repaintMainWindow != nullptr &&
           frontEnd.showMessageBox != nullptr && frontEnd.showResultsBox != nullptr &&
           frontEnd.noteTrackFileFailure != nullptr && frontEnd.notePassReadings != nullptr;
}

TestOutcome enterTest(const FrontEnd& frontEnd)
{
    if (!isCompleteFrontEnd(frontEnd)) return testFrontEndIncomplete;
    return testCompleted;
}
