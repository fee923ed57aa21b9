#include "engine/test_entry.h"

#include "engine/disk_read.h"
#include "engine/disk_write.h"
#include "tests/engine/engine_fixture.h"

namespace {

using EntryTest = EngineTest;

// Both tests, on a fresh double with the files a read needs; the outcome.
TestOutcome runOnFreshDouble(bool write, const FrontEnd& chosen)
{
    resetFakePlatform();
    resetFrontEnd();
    fakeFiles["D:\\Audio\\take.001"].size = 99614720;
    return write ? runWriteTest(chosen) : runReadTest(chosen);
}

// Refused ones leave no event, no file created or opened.
void expectUntouched(const std::string& situation)
{
    EXPECT_TRUE(frontEnd.events.empty()) << situation << ": " << frontEnd.events.front();
    EXPECT_TRUE(fakeLog.created.empty()) << situation;
    EXPECT_TRUE(fakeLog.opened.empty()) << situation;
}

#define NULLED(operation) {#operation, [](FrontEnd& f) { f.operation = nullptr; }}

TEST_F(EntryTest, FrontEndWithANullOperationIsRefusedUntouched)
{
    struct Case {
        const char* operation;
        void (*clear)(FrontEnd&);
    };
    const Case cases[] = {
        NULLED(chooseWriteBaseFile), NULLED(chooseReadBaseFile), NULLED(openProgress),
        NULLED(showProgressCaption), NULLED(advanceProgress),    NULLED(restartProgress),
        NULLED(closeProgress),       NULLED(repaintMainWindow),  NULLED(showMessageBox),
        NULLED(showResultsBox),      NULLED(noteTrackFileFailure), NULLED(notePlan),
        NULLED(notePassReadings),    NULLED(noteTransferFailure),
    };
    for (const Case& c : cases) {
        for (bool write : {true, false}) {
            FrontEnd incomplete = recordingFrontEnd();
            c.clear(incomplete);
            std::string situation = std::string(c.operation) + (write ? " null, write" : " null, read");
            EXPECT_EQ(runOnFreshDouble(write, incomplete), testFrontEndIncomplete) << situation;
            expectUntouched(situation);
        }
    }
    EXPECT_STREQ(testOutcomeName(testFrontEndIncomplete), "front-end-incomplete");
}

// Only the plans of the choices are known to fit the pass's readings and the
// file slots; anything else is refused before the dialog.
TEST_F(EntryTest, SettingsOutsideTheChoicesAreRefusedUntouched)
{
    struct Case {
        const char* situation;
        TestSettingsRecord settings;  // both request sizes alike
        TestOutcome outcome;
    };
    const Case cases[] = {
        {"no track", {0, 131072, 131072, 524288, 100000000}, testBadSettings},
        {"3 tracks", {3, 131072, 131072, 524288, 100000000}, testBadSettings},
        {"73 tracks", {73, 131072, 131072, 524288, 100000000}, testBadSettings},
        {"no request size", {1, 0, 0, 524288, 100000000}, testBadSettings},
        {"16 KB requests", {1, 16384, 16384, 524288, 100000000}, testBadSettings},
        {"1 MB requests", {1, 1048576, 1048576, 524288, 100000000}, testBadSettings},
        {"another buffer", {1, 131072, 131072, 262144, 100000000}, testBadSettings},
        {"a larger budget", {1, 131072, 131072, 524288, 200000000}, testBadSettings},
        {"the plan of the most requests", {1, 32768, 32768, 524288, 100000000}, testCompleted},
    };
    for (const Case& c : cases) {
        for (bool write : {true, false}) {
            TestSettings = c.settings;
            std::string situation = std::string(c.situation) + (write ? ", write" : ", read");
            EXPECT_EQ(runOnFreshDouble(write, recordingFrontEnd()), c.outcome) << situation;
            if (c.outcome == testBadSettings) expectUntouched(situation);
        }
    }
    EXPECT_STREQ(testOutcomeName(testBadSettings), "bad-settings");
}

}  // namespace
