#include "engine/disk_read.h"

#include <vector>

#include "tests/engine/engine_fixture.h"

namespace {

using ReadTest = EngineTest;
using Events = std::vector<std::string>;

const char notEnough[] = "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.";
const char tooSmall[] = "File Size Is Too Small!\n\nDo The Write Test To Create The Needed Files.";

TEST_F(ReadTest, ReadsBackWhatTheWriteTestLeft)
{
    TestSettings.trackCount = 12;
    TestSettings.readRequestSize = 262144;
    layTrackFiles(12, 7864320);
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testCompleted);
    expectRoundRobin(12, 360);
    Events expected = {"plan",          "chooseRead",
                       "repaint",       "openProgress",
                       "caption Reading: Test Files For 12 Track(s)",
                       "readings",      "closeProgress",
                       "repaint",       "results"};
    EXPECT_EQ(frontEnd.events, expected);
    EXPECT_EQ(frontEnd.resultsCaption, "Disk Read Test Results");
    EXPECT_EQ(frontEnd.results.kind, readTestKind);
    EXPECT_EQ(frontEnd.results.totalBytes, 94371840u);
    EXPECT_EQ(frontEnd.results.requestSize, 262144u);
    EXPECT_EQ(frontEnd.totalAdvances, 360u);
    EXPECT_EQ(fakeLog.rewinds, 12u);  // after each size check
}

TEST_F(ReadTest, FailedCloseAfterTheReadPassIsIgnored)
{
    TestSettings.trackCount = 12;
    layTrackFiles(12, 7864320);
    fakeScript.failCloseAt = 1;
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testCompleted);
    EXPECT_TRUE(frontEnd.boxes.empty());
    EXPECT_TRUE(frontEnd.resultsShown);
}

TEST_F(ReadTest, OneTrackTakesSevenHundredSixtySteps)
{
    layTrackFiles(1, 99614720);
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(frontEnd.openProgressSteps, 760u);
    EXPECT_EQ(frontEnd.totalAdvances, 760u);
    EXPECT_EQ(frontEnd.results.totalBytes, 99614720u);
}

TEST_F(ReadTest, CancelledDialogOpensNothing)
{
    frontEnd.chooseResult = false;
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testCancelled);
    EXPECT_EQ(frontEnd.events, (Events{"plan", "chooseRead"}));
    EXPECT_TRUE(fakeLog.opened.empty());
}

TEST_F(ReadTest, MissingFileIsReportedWhileTheOthersAreOpen)
{
    TestSettings.trackCount = 24;
    layTrackFiles(12, 7864320);  // written with 12 tracks
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testOpenFailed);
    ASSERT_EQ(frontEnd.boxes.size(), 1u);
    EXPECT_EQ(frontEnd.boxes[0].message, messageMissingTrackFile);
    EXPECT_EQ(frontEnd.boxes[0].text, notEnough);
    EXPECT_FALSE(frontEnd.boxes[0].hasCaption);
    EXPECT_EQ(frontEnd.boxes[0].flags, 0x10u);
    EXPECT_EQ(frontEnd.boxes[0].openHandles, 12u);  // closed after the box
    EXPECT_FALSE(frontEnd.boxes[0].progressOpen);
    EXPECT_EQ(fakeLog.closed.size(), 12u);
    EXPECT_EQ(frontEnd.events, (Events{"plan", "chooseRead", "repaint", "messageBox"}));
}

TEST_F(ReadTest, FileThatCannotBeOpenedAtKStopsThere)
{
    TestSettings.trackCount = 12;
    layTrackFiles(12, 7864320);
    fakeScript.failOpenAt = 3;  // held by another program, say
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testOpenFailed);
    EXPECT_EQ(fakeLog.opened.size(), 2u);
    EXPECT_EQ(frontEnd.boxes.at(0).text, notEnough);
}

TEST_F(ReadTest, ShortFileIsClosedBeforeItsMessage)
{
    TestSettings.trackCount = 1;
    layTrackFiles(72, 1048576);  // written with 72 tracks
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testFileTooSmall);
    ASSERT_EQ(frontEnd.boxes.size(), 1u);
    EXPECT_EQ(frontEnd.boxes[0].message, messageFileTooSmall);
    EXPECT_EQ(frontEnd.boxes[0].text, tooSmall);
    EXPECT_FALSE(frontEnd.boxes[0].hasCaption);
    EXPECT_EQ(frontEnd.boxes[0].openHandles, 0u);
    EXPECT_EQ(fakeLog.opened.size(), 1u);  // no later file named or opened
}

TEST_F(ReadTest, EmptyFilesOfAWarnedWriteAreTooSmall)
{
    TestSettings.trackCount = 12;
    layTrackFiles(12, 0);
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testFileTooSmall);
    EXPECT_EQ(fakeLog.opened.size(), 1u);
}

TEST_F(ReadTest, SizeIsJudgedOnAllSixtyFourBits)
{
    // 4 GiB + 4096: the low 32 bits alone would be far too small.
    layTrackFiles(1, 4294967296ull + 4096);
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(frontEnd.results.totalBytes, 99614720u);
}

TEST_F(ReadTest, LongerFilesPassAndOnlyThePlanIsRead)
{
    TestSettings.trackCount = 48;
    layTrackFiles(60, 1572864);  // written with 60 tracks
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(fakeLog.opened.size(), 48u);
    EXPECT_EQ(frontEnd.results.totalBytes, 75497472u);
}

TEST_F(ReadTest, ShortReadAbortsWithoutResults)
{
    TestSettings.trackCount = 12;
    layTrackFiles(12, 7864320);
    fakeScript.shortTransferAt = 1;
    fakeScript.shortTransferBytes = 0;
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testTransferError);
    ASSERT_EQ(frontEnd.boxes.size(), 1u);
    EXPECT_EQ(frontEnd.boxes[0].message, messageTransferError);
    EXPECT_EQ(frontEnd.boxes[0].text, "Disk Read Error... Test Aborted!");
    EXPECT_FALSE(frontEnd.boxes[0].hasCaption);
    EXPECT_EQ(fakeLog.transferOrder.size(), 1u);
    EXPECT_EQ(frontEnd.totalAdvances, 0u);
    EXPECT_FALSE(frontEnd.resultsShown);
}

TEST_F(ReadTest, WrappedCounterRereadsEveryFileFromItsStart)
{
    TestSettings.trackCount = 2;
    layTrackFiles(2, 49807360);
    fakeScript.clockReadings = {0xFFFFFFFFu, 0u, 7u, 1007u};
    EXPECT_EQ(runReadTest(recordingFrontEnd()), testCompleted);
    EXPECT_EQ(frontEnd.restarts, 1u);
    EXPECT_EQ(fakeLog.rewinds, 2u + 2u);  // size checks, then the repeat
    EXPECT_EQ(frontEnd.results.elapsedMs, 1000u);
    EXPECT_EQ(frontEnd.results.totalBytes, 99614720u);
    EXPECT_EQ(frontEnd.advances, 760u);
}

}  // namespace
