#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/results_report.h"

namespace {

const std::string rule =
    "- - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - -";

TEST(ResultsReportTest, TwelveTrackWriteExampleByteForByte)
{
    ResultsInputs in = {writeTestKind, 94371840, 3000, 131072, 7864320, 12};
    std::string expected =
        "Total Bytes Written = 94371840\n\nTotal Time In Milliseconds = 3000\n\n" + rule +
        "\nActual Transfer Rate = 31457 KBytes/Sec\n" + rule +
        "\n\nWrite Request Size = 128 KBytes\n\nIndividual File Size = 7864320 Bytes\n\n"
        "General Track Configuration Transfer Rates:\n" + rule +
        "\n12 Track(s) Of 44100 Mono 16 Bit Files =  1058.40 KBytes/Sec\n"
        "12 Track(s) Of 44100 Mono 24 Bit Files =  1587.60 KBytes/Sec\n\n"
        "12 Track(s) Of 44100 Stereo 16 Bit Files =  2116.80 KBytes/Sec\n"
        "12 Track(s) Of 44100 Stereo 24 Bit Files =  3175.20 KBytes/Sec\n";
    EXPECT_EQ(std::string(formatResultsReport(in).text), expected);
    EXPECT_EQ(rule.size(), 85u);
    EXPECT_STREQ(resultsCaption(writeTestKind), "Disk Write Test Results");
}

TEST(ResultsReportTest, ReadVariantDiffersOnlyInItsWording)
{
    ResultsInputs write = {writeTestKind, 94371840, 3000, 131072, 7864320, 12};
    ResultsInputs read = write;
    read.kind = readTestKind;
    std::string expected = formatResultsReport(write).text;
    expected.replace(expected.find("Total Bytes Written"), 19, "Total Bytes Read");
    expected.replace(expected.find("Write Request Size"), 18, "Read Request Size");
    EXPECT_EQ(std::string(formatResultsReport(read).text), expected);
    EXPECT_STREQ(resultsCaption(readTestKind), "Disk Read Test Results");
}

TEST(ResultsReportTest, TrackConfigurationFiguresForEveryTrackCount)
{
    struct Row {
        uint32_t tracks;
        const char* figures[4];
    };
    const Row rows[] = {
        {1, {"88.20", "132.30", "176.40", "264.60"}},
        {2, {"176.40", "264.60", "352.80", "529.20"}},
        {12, {"1058.40", "1587.60", "2116.80", "3175.20"}},
        {24, {"2116.80", "3175.20", "4233.60", "6350.40"}},
        {36, {"3175.20", "4762.80", "6350.40", "9525.60"}},
        {48, {"4233.60", "6350.40", "8467.20", "12700.80"}},
        {60, {"5292.00", "7938.00", "10584.00", "15876.00"}},
        {72, {"6350.40", "9525.60", "12700.80", "19051.20"}},
    };
    for (const Row& row : rows) {
        ResultsInputs in = {writeTestKind, 75497472, 1000, 32768, 1048576, row.tracks};
        std::string text = formatResultsReport(in).text;
        for (uint32_t f = 0; f < trackFormatCount; ++f) {
            char line[160];
            std::snprintf(line, sizeof line, "%u Track(s) Of 44100 %s Files =  %s KBytes/Sec\n",
                          row.tracks, trackFormats[f].name, row.figures[f]);
            EXPECT_NE(text.find(line), std::string::npos) << line;
        }
    }
}

TEST(ResultsReportTest, RequestSizeInKBytesOfTenTwentyFour)
{
    ResultsInputs in = {readTestKind, 75497472, 1000, 524288, 1048576, 72};
    EXPECT_NE(std::string(formatResultsReport(in).text).find("\n\nRead Request Size = 512 KBytes\n"),
              std::string::npos);
    in.requestSize = 32768;
    EXPECT_NE(std::string(formatResultsReport(in).text).find("Read Request Size = 32 KBytes"),
              std::string::npos);
}

TEST(ResultsReportTest, ZeroMillisecondsIsRatedAsOne)
{
    ResultsInputs in = {writeTestKind, 99614720, 0, 131072, 99614720, 1};
    std::string text = formatResultsReport(in).text;
    EXPECT_NE(text.find("Total Time In Milliseconds = 0\n"), std::string::npos);
    EXPECT_NE(text.find("Actual Transfer Rate = 99614720 KBytes/Sec\n"), std::string::npos);
    EXPECT_EQ(transferRate(94371840, 3000), 31457u);
}

TEST(ResultsReportTest, LargestFiguresFitTheBuffer)
{
    // Every input at its 32-bit maximum; a 1 ms pass makes the rate as long.
    const uint32_t most = 4294967295u;
    ResultsInputs in = {writeTestKind, most, 1u, most, most, most};
    std::string text = formatResultsReport(in).text;
    EXPECT_EQ(text.size(), 806u);
    EXPECT_NE(text.find("4294967295 Track(s) Of 44100 Stereo 24 Bit Files =  1136448346257.00 "
                        "KBytes/Sec\n"),
              std::string::npos)
        << text;  // the last line, whole: nothing was cut off
    in.kind = readTestKind;
    EXPECT_EQ(std::string(formatResultsReport(in).text).size(), 802u);
}

}  // namespace
