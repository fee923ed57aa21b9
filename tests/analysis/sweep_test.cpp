// The sweep's disk-space arithmetic and how it combines write and read.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "analysis/sweep.h"
#include "engine/settings.h"

namespace {

TEST(SweepDiskNeed, LargestTestPlusReserveAndTheLargestSizePerFileNumber)
{
    SweepDiskNeed need = sweepDiskNeed(trackCountChoices, trackCountChoiceCount);
    EXPECT_EQ(need.largestTestBytes, 99614720u);
    EXPECT_EQ(need.freeBytesNeeded, 100126720u);
    // File 1: 99,614,720 (1 track); file 2: 49,807,360 (2); files 3-12: 7,864,320 (12);
    // 13-24: 3,670,016 (24); 25-36: 2,621,440 (36); 37-60: 1,572,864 (48 and 60);
    // 61-72: 1,048,576 (72).
    uint64_t expected = 99614720ull + 49807360ull + 10 * 7864320ull + 12 * 3670016ull +
                        12 * 2621440ull + 24 * 1572864ull + 12 * 1048576ull;
    EXPECT_EQ(expected, 353894400u);
    EXPECT_EQ(need.largestFileSizesSum, expected);
    EXPECT_EQ(need.bytesLeftAfter, 72u * 1048576u);
}

TEST(SweepDiskNeed, RoomIsCheckedAsEachWriteTestWillSeeIt)
{
    const uint64_t none[maxTrackFiles] = {};
    // The write test's condition is strict: exactly the need fails, one byte more passes.
    EXPECT_EQ(firstCountShortOfSpace(trackCountChoices, trackCountChoiceCount, 100126720, none), 1u);
    EXPECT_EQ(firstCountShortOfSpace(trackCountChoices, trackCountChoiceCount, 100126721, none), 0u);

    // An old BASE.001 is truncated before the first test: its bytes count as free.
    uint64_t oldFirst[maxTrackFiles] = {};
    oldFirst[0] = 1;
    EXPECT_EQ(firstCountShortOfSpace(trackCountChoices, trackCountChoiceCount, 100126720, oldFirst), 0u);

    // An old BASE.002 is only truncated by the 2-track test, too late for the 1-track test.
    uint64_t oldSecond[maxTrackFiles] = {};
    oldSecond[1] = 50000000;
    EXPECT_EQ(firstCountShortOfSpace(trackCountChoices, trackCountChoiceCount, 99000000, oldSecond), 1u);

    // 95 MB free is short for 1 and 2 tracks (99.6 MB) but enough for 12 (94,371,840 + 512,000).
    const uint32_t laterCounts[] = {12, 24, 36, 48, 60, 72};
    EXPECT_EQ(firstCountShortOfSpace(laterCounts, 6, 94883841, none), 0u);
    EXPECT_EQ(firstCountShortOfSpace(laterCounts, 6, 94883840, none), 12u);
}

PassAnalysis passWithMargins(double mono16, double stereo24)
{
    PassAnalysis a{};
    a.valid = true;
    a.formats[0].margin = mono16;
    a.formats[3].margin = stereo24;
    return a;
}

TEST(SweepCell, TheWorseOfWriteAndReadDecides)
{
    SweepRow row{};
    row.trackCount = 72;
    row.writeOutcome = testCompleted;
    row.readOutcome = testCompleted;
    row.readRun = true;
    row.write = passWithMargins(5.0, 0.9);
    row.read = passWithMargins(1.5, 3.0);
    SweepCell mono16 = sweepCell(row, 0);
    ASSERT_TRUE(mono16.known);
    EXPECT_EQ(mono16.margin, 1.5);  // the read
    EXPECT_EQ(mono16.verdict, verdictMarginal);
    SweepCell stereo24 = sweepCell(row, 3);
    EXPECT_EQ(stereo24.margin, 0.9);  // the write
    EXPECT_EQ(stereo24.verdict, verdictCannotStream);

    row.readOutcome = testTransferError;
    EXPECT_FALSE(sweepCell(row, 0).known);
    EXPECT_FALSE(sweepRowCompleted(row));
}

TEST(SweepTable, AFailedCountShowsItsOutcomeAndNoVerdict)
{
    SweepRow failed{};
    failed.trackCount = 48;
    failed.writeOutcome = testNotEnoughSpace;
    std::string table = formatSweepTable({failed}, 131072);
    EXPECT_NE(table.find("128 KByte requests"), std::string::npos);
    EXPECT_NE(table.find("    48  not-enough-space             -  -"), std::string::npos) << table;
    EXPECT_EQ(table.find(" \n"), std::string::npos) << "trailing blanks";

    nlohmann::json j = sweepJson({failed}, 131072);
    EXPECT_EQ(j["allCompleted"], false);
    EXPECT_TRUE(j["rows"][0]["readOutcome"].is_null());
    EXPECT_TRUE(j["rows"][0]["formats"]["Stereo 24 Bit"].is_null());
}

}  // namespace
