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
        NULLED(showResultsBox),      NULLED(noteTrackFileFailure), NULLED(notePassReadings),
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

}  // namespace
