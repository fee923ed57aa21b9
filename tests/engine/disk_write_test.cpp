#include "engine/disk_write.h"

#include <vector>

#include "tests/engine/engine_fixture.h"

namespace {

using WriteTest = EngineTest;
using Events = std::vector<std::string>;

TEST_F(WriteTest, TwelveTracksRoundRobinToTheirPlannedSize)
{
    TestSettings.trackCount = 12;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);

    ASSERT_EQ(fakeLog.created.size(), 12u);
    EXPECT_EQ(fakeLog.created.front(), track(1));
    EXPECT_EQ(fakeLog.created.back(), track(12));
    for (uint32_t n = 1; n <= 12; ++n) EXPECT_EQ(fakeFiles[track(n)].size, 7864320u);
    expectRoundRobin(12, 720);
    EXPECT_EQ(frontEnd.openProgressSteps, 720u);
    EXPECT_EQ(frontEnd.totalAdvances, 720u);
    EXPECT_EQ(fakeLog.freeBytesPath, track(12));

    Events expected = {"plan",          "chooseWrite",
                       "repaint",       "openProgress",
                       "caption Writing: Test Files For 12 Track(s)",
                       "readings",      "closeProgress",
                       "repaint",       "results"};
    EXPECT_EQ(frontEnd.events, expected);
    EXPECT_EQ(frontEnd.plan.totalTestBytes, 94371840u);
    EXPECT_EQ(frontEnd.plan.stepCount, 720u);
    EXPECT_EQ(frontEnd.resultsCaption, "Disk Write Test Results");
    EXPECT_EQ(frontEnd.results.kind, writeTestKind);
    EXPECT_EQ(frontEnd.results.totalBytes, 94371840u);
    EXPECT_EQ(frontEnd.results.requestSize, 131072u);
    EXPECT_EQ(frontEnd.results.perFileSize, 7864320u);
    EXPECT_EQ(frontEnd.results.trackCount, 12u);
    EXPECT_EQ(fakeLog.beginPeriods, 1u);
}

TEST_F(WriteTest, OneTrackTakesSevenHundredSixtySteps)
{
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(frontEnd.openProgressSteps, 760u);
    EXPECT_EQ(frontEnd.totalAdvances, 760u);
    EXPECT_EQ(fakeFiles[track(1)].size, 99614720u);
}

TEST_F(WriteTest, SeventyTwoTracksAtFiveTwelveAreTwoCycles)
{
    TestSettings.trackCount = 72;
    TestSettings.writeRequestSize = 524288;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(frontEnd.totalAdvances, 144u);
    EXPECT_EQ(fakeFiles[track(72)].size, 1048576u);
}

TEST_F(WriteTest, CancelledDialogTouchesNothing)
{
    fakeFiles[track(1)].size = 12345;
    frontEnd.chooseResult = false;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCancelled);
    EXPECT_EQ(frontEnd.events, (Events{"plan", "chooseWrite"}));  // planned all the same
    EXPECT_TRUE(fakeLog.created.empty());
    EXPECT_EQ(fakeFiles[track(1)].size, 12345u);
}

TEST_F(WriteTest, FailedCreateEndsSilentlyAndClosesTheOthers)
{
    TestSettings.trackCount = 12;
    fakeScript.failCreateAt = 5;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCreateFailed);
    EXPECT_EQ(fakeLog.created.size(), 4u);
    EXPECT_EQ(fakeLog.closed.size(), 4u);
    EXPECT_TRUE(frontEnd.boxes.empty());
    EXPECT_EQ(frontEnd.events, (Events{"plan", "chooseWrite", "repaint"}));
    EXPECT_TRUE(fakeLog.transferOrder.empty());
    EXPECT_EQ(fakeFiles[track(4)].size, 0u);  // stays on disk, empty
    EXPECT_TRUE(fakeLog.freeBytesPath.empty());
}

TEST_F(WriteTest, FreeSpaceExactlyAtTheReserveWarns)
{
    TestSettings.trackCount = 12;
    fakeScript.freeBytes = 94371840ull + 512000;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testNotEnoughSpace);
    ASSERT_EQ(frontEnd.boxes.size(), 1u);
    const RecordedBox& box = frontEnd.boxes[0];
    EXPECT_EQ(box.message, messageNotEnoughSpace);
    EXPECT_EQ(box.text, "Not Enough Disk Space On Drive \nTo Write Test Files!");
    EXPECT_TRUE(box.hasCaption);
    EXPECT_EQ(box.caption, "WARNING");
    EXPECT_EQ(box.flags, 0x10u);
    EXPECT_EQ(box.openHandles, 12u);  // shown before the set is closed
    EXPECT_FALSE(box.progressOpen);
    EXPECT_TRUE(fakeLog.transferOrder.empty());
    EXPECT_EQ(fakeFiles[track(12)].size, 0u);
}

TEST_F(WriteTest, OneByteAboveTheReserveAndFourGigabytesPass)
{
    TestSettings.trackCount = 12;
    fakeScript.freeBytes = 94371840ull + 512001;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);
    fakeScript.freeBytes = 4294967296ull;  // low 32 bits are 0
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);
    fakeScript.freeBytes = 0;  // a volume that cannot be asked
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testNotEnoughSpace);
}

TEST_F(WriteTest, ShortWriteAbortsWithoutResults)
{
    TestSettings.trackCount = 12;
    fakeScript.shortTransferAt = 30;  // third cycle, file 6
    fakeScript.shortTransferBytes = 4096;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testTransferError);
    ASSERT_EQ(frontEnd.boxes.size(), 1u);
    EXPECT_EQ(frontEnd.boxes[0].message, messageTransferError);
    EXPECT_EQ(frontEnd.boxes[0].text, "Disk Write Error... Test Aborted!");
    EXPECT_FALSE(frontEnd.boxes[0].hasCaption);
    EXPECT_EQ(frontEnd.boxes[0].flags, 0x10u);
    EXPECT_EQ(fakeLog.transferOrder.size(), 30u);  // no later file of that cycle
    EXPECT_EQ(frontEnd.totalAdvances, 29u);        // the short one is not stepped
    EXPECT_FALSE(frontEnd.resultsShown);
}

TEST_F(WriteTest, FailedFirstWriteCountsAsShort)
{
    fakeScript.shortTransferAt = 1;
    fakeScript.shortTransferBytes = 0;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testTransferError);
    EXPECT_EQ(frontEnd.totalAdvances, 0u);
    EXPECT_FALSE(frontEnd.resultsShown);
}

TEST_F(WriteTest, FailedCloseAfterThePassAbortsInPlaceOfTheReport)
{
    TestSettings.trackCount = 12;
    fakeScript.failCloseAt = 12;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testTransferError);
    EXPECT_EQ(fakeLog.closed.size(), 12u);  // the later files too
    ASSERT_EQ(frontEnd.boxes.size(), 1u);
    EXPECT_EQ(frontEnd.boxes[0].message, messageTransferError);
    EXPECT_EQ(frontEnd.boxes[0].text, "Disk Write Error... Test Aborted!");
    EXPECT_FALSE(frontEnd.boxes[0].hasCaption);
    EXPECT_EQ(frontEnd.boxes[0].flags, 0x10u);
    EXPECT_FALSE(frontEnd.resultsShown);
}

TEST_F(WriteTest, EveryOtherFailedCloseChangesNothing)
{
    struct Case {
        const char* situation;
        uint32_t failCreateAt;
        uint64_t freeBytes;
        uint32_t shortTransferAt;
        TestOutcome outcome;
        size_t boxes;
    };
    const Case cases[] = {
        {"a create failed", 3, 1ull << 40, 0, testCreateFailed, 0},
        {"too little space", 0, 0, 0, testNotEnoughSpace, 1},
        {"a write failed", 0, 1ull << 40, 5, testTransferError, 1},  // one box, not two
    };
    for (const Case& c : cases) {
        resetFakePlatform();
        resetFrontEnd();
        TestSettings.trackCount = 12;
        fakeScript.failCloseAt = 1;
        fakeScript.failCreateAt = c.failCreateAt;
        fakeScript.freeBytes = c.freeBytes;
        fakeScript.shortTransferAt = c.shortTransferAt;
        EXPECT_EQ(runWriteTest(recordingFrontEnd()), c.outcome) << c.situation;
        EXPECT_EQ(frontEnd.boxes.size(), c.boxes) << c.situation;
    }
}

TEST_F(WriteTest, WrappedCounterRepeatsThePassAndReportsTheLastOnly)
{
    TestSettings.trackCount = 12;
    // Pass 1 wraps, pass 2 wraps again, pass 3 takes 2500 ms.
    fakeScript.clockReadings = {0xFFFFFF00u, 0x10u, 0xFFFFFFF0u, 5u, 100u, 2600u};
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(frontEnd.restarts, 2u);
    EXPECT_EQ(fakeLog.rewinds, 24u);  // every file, before each repeat
    EXPECT_EQ(fakeLog.beginPeriods, 3u);
    EXPECT_EQ(fakeLog.transferOrder.size(), 3u * 720u);
    EXPECT_EQ(frontEnd.advances, 720u);  // since the last restart
    EXPECT_EQ(frontEnd.results.elapsedMs, 2500u);
    EXPECT_EQ(frontEnd.results.totalBytes, 94371840u);
    EXPECT_EQ(fakeFiles[track(1)].size, 7864320u);  // rewound, not appended
    EXPECT_EQ(std::count(frontEnd.events.begin(), frontEnd.events.end(), "openProgress"), 1);
}

TEST_F(WriteTest, EqualReadingsAreNoWrap)
{
    fakeScript.clockReadings = {500u, 500u};
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(frontEnd.restarts, 0u);
    EXPECT_EQ(frontEnd.results.elapsedMs, 0u);
}

TEST_F(WriteTest, AbortedPassIsNeverRepeatedEvenAfterAWrap)
{
    fakeScript.clockReadings = {0xFFFFFF00u, 0x10u};
    fakeScript.shortTransferAt = 3;
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testTransferError);
    EXPECT_EQ(frontEnd.restarts, 0u);
    EXPECT_EQ(fakeLog.rewinds, 0u);
}

// The engine's own readings of the monotonic clock: the start of the pass and
// the end of every request that completed, of the last pass run only.
TEST_F(WriteTest, ReadingsAreTheEndsOfTheCompletedRequestsOfTheLastPass)
{
    struct Case {
        const char* situation;
        std::vector<uint32_t> clockReadings;
        uint32_t shortTransferAt;
        uint64_t startNs;
        size_t readings;
    };
    const Case cases[] = {
        {"a completed pass", {}, 0, 0, 720},
        {"a short fifth request", {}, 5, 0, 4},
        {"a wrapped pass run again", {0xFFFFFF00u, 0x10u, 100u, 2600u}, 0, 720000, 720},
    };
    for (const Case& c : cases) {
        resetFakePlatform();
        resetFrontEnd();
        TestSettings.trackCount = 12;
        fakeScript.requestNs = 1000;
        fakeScript.clockReadings = c.clockReadings;
        fakeScript.shortTransferAt = c.shortTransferAt;
        runWriteTest(recordingFrontEnd());
        EXPECT_EQ(frontEnd.readingsStartNs, c.startNs) << c.situation;
        ASSERT_EQ(frontEnd.readingsEndNs.size(), c.readings) << c.situation;
        for (size_t i = 0; i < c.readings; ++i)
            ASSERT_EQ(frontEnd.readingsEndNs[i], c.startNs + 1000 * (i + 1))
                << c.situation << ", request " << i + 1;
    }
}

TEST_F(WriteTest, RewritingLongerFilesLeavesThePlannedSize)
{
    TestSettings.trackCount = 2;
    layTrackFiles(2, 300000000);
    EXPECT_EQ(runWriteTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(fakeFiles[track(1)].size, 49807360u);
    EXPECT_EQ(fakeFiles[track(2)].size, 49807360u);
}

}  // namespace
