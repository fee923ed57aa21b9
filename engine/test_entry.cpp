#include "engine/test_entry.h"

#include "engine/settings.h"

static bool isCompleteFrontEnd(const FrontEnd& frontEnd)
{
    return frontEnd.chooseWriteBaseFile != nullptr && frontEnd.chooseReadBaseFile != nullptr &&
           frontEnd.openProgress != nullptr && frontEnd.showProgressCaption != nullptr &&
           frontEnd.advanceProgress != nullptr && frontEnd.restartProgress != nullptr &&
           frontEnd.closeProgress != nullptr && frontEnd.repaintMainWindow != nullptr &&
           frontEnd.showMessageBox != nullptr && frontEnd.showResultsBox != nullptr &&
           frontEnd.noteTrackFileFailure != nullptr && frontEnd.notePlan != nullptr &&
           frontEnd.notePassReadings != nullptr && frontEnd.noteTransferFailure != nullptr;
}

TestOutcome enterTest(const FrontEnd& frontEnd, TestKind kind, TestPlan& plan)
{
    if (!isCompleteFrontEnd(frontEnd)) return testFrontEndIncomplete;
    const uint32_t requestSize =
        kind == writeTestKind ? TestSettings.writeRequestSize : TestSettings.readRequestSize;
    if (!areChoiceSettings(TestSettings, requestSize)) return testBadSettings;
    plan = planTest(TestSettings.trackCount, requestSize, TestSettings.transferBufferSize,
                    TestSettings.testDataBudget);
    frontEnd.notePlan(frontEnd.context, plan);
    return testCompleted;
}
