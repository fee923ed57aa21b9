// The JSON and text of the real trakmon after real passes in a temporary
// folder: the extra figures follow the report and agree with each other.
// Linux only (the built binary is run in a child process).
#if defined(TRAKMON_BINARY) && !defined(_WIN32)
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/analysis/xml_check.h"

using nlohmann::json;

namespace {

struct ProgramRun {
    int exitCode;
    std::string out;
};

ProgramRun runTrakmon(const std::string& args)
{
    std::string command = std::string(TRAKMON_BINARY) + " " + args + " 2>/dev/null </dev/null";
    ProgramRun run{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.out.append(chunk, got);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<json> jsonLines(const std::string& text)
{
    std::vector<json> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(json::parse(line));
    return lines;
}

class RealRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* root = std::getenv("TRAKMON_TEST_DIR");
        std::string pattern = std::string(root != nullptr ? root : "/tmp") + "/trakmon-analysis-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        ASSERT_NE(mkdtemp(buffer.data()), nullptr);
        folder = buffer.data();
        base = folder + "/take";
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string folder;
    std::string base;
};

// The figures of one completed test's object must hang together.
void expectConsistentAnalysis(const json& test)
{
    SCOPED_TRACE(test.dump());
    ASSERT_EQ(test["outcome"], "completed");
    const uint64_t trackCount = test["trackCount"];
    const uint64_t requestSize = test["requestSize"];
    const uint64_t totalBytes = test["totalBytes"];
    const uint64_t elapsedMs = test["elapsedMs"];

    const json& precise = test["precise"];
    const uint64_t elapsedNs = precise["elapsedNs"];
    ASSERT_GT(elapsedNs, 0u);
    // Same span as the millisecond figure; the slack only catches unit errors.
    EXPECT_LT(elapsedNs, (elapsedMs + 50) * 1000000);
    EXPECT_GT(elapsedNs + 50000000, elapsedMs * 1000000);
    EXPECT_NEAR(precise["bytesPerSec"].get<double>(), totalBytes * 1e9 / elapsedNs, 1.0);
    EXPECT_EQ(precise["rateKBytesPerSec"], static_cast<uint64_t>(totalBytes * 1e6 / elapsedNs));

    const json& rounds = test["rounds"];
    EXPECT_EQ(rounds["requestsPerRound"], trackCount);
    EXPECT_EQ(rounds["count"], totalBytes / (trackCount * requestSize));
    const uint64_t slowest = rounds["slowestNs"];
    EXPECT_LE(rounds["p99Ns"].get<uint64_t>(), slowest);
    EXPECT_LE(slowest, elapsedNs);
    EXPECT_GE(slowest * rounds["count"].get<uint64_t>(), elapsedNs);

    const json& latency = test["requestLatency"];
    EXPECT_LE(latency["minNs"].get<uint64_t>(), latency["medianNs"].get<uint64_t>());
    EXPECT_LE(latency["medianNs"].get<uint64_t>(), latency["p99Ns"].get<uint64_t>());
    EXPECT_LE(latency["p99Ns"].get<uint64_t>(), latency["maxNs"].get<uint64_t>());
    EXPECT_LE(latency["maxNs"].get<uint64_t>(), slowest);
    EXPECT_EQ(test["percentileMethod"], "nearest-rank");

    const char* names[] = {"Mono 16 Bit", "Mono 24 Bit", "Stereo 16 Bit", "Stereo 24 Bit"};
    const uint64_t rates[] = {88200, 132300, 176400, 264600};
    ASSERT_EQ(test["audio"].size(), 4u);
    for (int f = 0; f < 4; ++f) {
        const json& answer = test["audio"][f];
        EXPECT_EQ(answer["format"], names[f]);
        EXPECT_EQ(answer["bytesPerSecond"], rates[f]);
        const uint64_t budget = answer["roundBudgetNs"];
        EXPECT_NEAR(static_cast<double>(budget), requestSize * 1e9 / rates[f], 0.5);
        const double margin = answer["margin"];
        EXPECT_NEAR(margin, static_cast<double>(budget) / slowest, 1e-9 * margin);
        const std::string verdict = answer["verdict"];
        EXPECT_EQ(verdict, margin >= 2 ? "can" : margin >= 1 ? "marginal" : "cannot");
    }
}

TEST_F(RealRun, JsonOfWriteAndReadCarriesConsistentPreciseAndAudioFigures)
{
    ProgramRun run = runTrakmon("run --tracks 12 --write-request 512 --read-request 64 --json " + base);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    std::vector<json> tests = jsonLines(run.out);
    ASSERT_EQ(tests.size(), 2u);
    EXPECT_EQ(tests[0]["test"], "write");
    EXPECT_EQ(tests[1]["test"], "read");
    expectConsistentAnalysis(tests[0]);
    expectConsistentAnalysis(tests[1]);
    EXPECT_EQ(tests[0]["rounds"]["count"], 15u);   // 7,864,320 / 524,288
    EXPECT_EQ(tests[1]["rounds"]["count"], 120u);  // 7,864,320 / 65,536
}

TEST_F(RealRun, TextKeepsTheReportIntactAndAddsLabelledLinesAfterIt)
{
    ProgramRun run = runTrakmon("write --tracks 2 --request 256 " + base);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const std::string reportEnd = "2 Track(s) Of 44100 Stereo 24 Bit Files =  529.20 KBytes/Sec\n";
    size_t end = run.out.find(reportEnd);
    ASSERT_NE(end, std::string::npos) << run.out;
    std::string extra = run.out.substr(end + reportEnd.size());
    EXPECT_EQ(extra.rfind("\nPrecise time", 0), 0u) << extra;
    for (const char* label : {"\nRounds of 2 request(s), one per track: 190;",
                              "\nRequest latency: min ", "\nMono 16 Bit: round budget 2972.154 ms",
                              "\nStereo 24 Bit: round budget 990.718 ms"})
        EXPECT_NE(extra.find(label), std::string::npos) << label << "\n" << extra;
    EXPECT_NE(extra.find(" 2 tracks of Stereo 24 Bit\n"), std::string::npos) << extra;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "1234.567" microseconds as nanoseconds, exactly.
uint64_t microsecondsToNs(const std::string& text)
{
    size_t dot = text.find('.');
    return std::stoull(text.substr(0, dot)) * 1000 + std::stoull(text.substr(dot + 1));
}

TEST_F(RealRun, RepeatedPassesCarryEveryPassTheirSummaryLogAndPlot)
{
    ProgramRun run = runTrakmon("write --tracks 12 --request 512 --repeat 5 --rate 96000 --bits 24 "
                                "--json --log " + folder + "/log.csv --plot " + folder +
                                "/plot.svg " + base);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    std::vector<json> lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 6u);
    std::vector<double> rates;
    uint64_t slowest = 0;
    for (uint32_t pass = 1; pass <= 5; ++pass) {
        const json& test = lines[pass - 1];
        EXPECT_EQ(test["test"], "write");
        EXPECT_EQ(test["pass"], pass);
        EXPECT_EQ(test["passes"], 5u);
        rates.push_back(test["precise"]["rateMBytesPerSec"]);
        slowest = std::max<uint64_t>(slowest, test["rounds"]["slowestNs"]);
        // 524288 / (96000 x 3) s, and stereo half of it.
        EXPECT_EQ(test["audio"][0]["format"], "96 kHz 24-bit mono");
        EXPECT_EQ(test["audio"][0]["roundBudgetNs"], 1820444444u);
        EXPECT_EQ(test["audio"][1]["roundBudgetNs"], 910222222u);
    }
    const json& summary = lines.back();
    EXPECT_EQ(summary["test"], "write-summary");
    EXPECT_EQ(summary["passes"], 5u);
    const uint32_t medianPass = summary["medianPass"];
    ASSERT_TRUE(medianPass >= 1 && medianPass <= 5);
    EXPECT_EQ(summary["preciseRateMBytesPerSec"]["median"].get<double>(), rates[medianPass - 1]);
    std::vector<double> sorted = rates;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(summary["preciseRateMBytesPerSec"]["median"].get<double>(), sorted[2]);
    EXPECT_EQ(summary["preciseRateMBytesPerSec"]["min"].get<double>(), sorted[0]);
    EXPECT_EQ(summary["preciseRateMBytesPerSec"]["max"].get<double>(), sorted[4]);
    EXPECT_EQ(summary["slowestRound"]["ns"], slowest);
    EXPECT_DOUBLE_EQ(summary["audio"][1]["margin"].get<double>(), 910222222.0 / slowest);

    // The log: a line per request, 180 per pass, whose latencies add up to
    // the pass's precise time.
    std::istringstream log(slurp(folder + "/log.csv"));
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line, "pass,test,tracks,round,track,bytes,time_us,latency_us");
    uint64_t latencySum[6] = {}, lastTime[6] = {};
    int count = 0;
    while (std::getline(log, line)) {
        ++count;
        std::vector<std::string> field;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) field.push_back(cell);
        ASSERT_EQ(field.size(), 8u) << line;
        int pass = std::stoi(field[0]);
        ASSERT_TRUE(pass >= 1 && pass <= 5) << line;
        EXPECT_EQ(field[5], "524288");
        latencySum[pass] += microsecondsToNs(field[7]);
        lastTime[pass] = microsecondsToNs(field[6]);
    }
    EXPECT_EQ(count, 5 * 180);
    for (uint32_t pass = 1; pass <= 5; ++pass) {
        const uint64_t elapsedNs = lines[pass - 1]["precise"]["elapsedNs"];
        EXPECT_EQ(latencySum[pass], elapsedNs) << pass;
        EXPECT_EQ(lastTime[pass], elapsedNs) << pass;
    }

    // The plot: one point per round of every pass (15 rounds of 12 requests).
    std::string plot = slurp(folder + "/plot.svg");
    expectWellFormedXml(plot);
    size_t points = 0;
    for (size_t at = plot.find("<circle "); at != std::string::npos;
         at = plot.find("<circle ", at + 1))
        ++points;
    EXPECT_EQ(points, 5u * 15);
    EXPECT_NE(plot.find("96 kHz 24-bit mono: budget 1820.444 ms"), std::string::npos);
    EXPECT_NE(plot.find("96 kHz 24-bit stereo: budget 910.222 ms"), std::string::npos);
}

TEST_F(RealRun, RepeatedTextKeepsEveryReportAndEndsWithTheSummaries)
{
    ProgramRun once = runTrakmon("run --tracks 2 --write-request 512 --read-request 512 " + base);
    ASSERT_EQ(once.exitCode, 0) << once.out;
    EXPECT_EQ(once.out.find("Pass "), std::string::npos);
    EXPECT_EQ(once.out.find("Summary"), std::string::npos);

    ProgramRun twice =
        runTrakmon("run --tracks 2 --write-request 512 --read-request 512 --repeat 2 " + base);
    ASSERT_EQ(twice.exitCode, 0) << twice.out;
    // Write 1, read 1, write 2, read 2, then the two summaries.
    std::vector<size_t> at;
    for (const char* text : {"Disk Write Test Results\n", "Disk Read Test Results\n",
                             "Disk Write Test Results\n", "Disk Read Test Results\n",
                             "Summary of 2 write passes", "Summary of 2 read passes"})
        at.push_back(twice.out.find(text, at.empty() ? 0 : at.back() + 1));
    for (size_t i = 0; i < at.size(); ++i) EXPECT_NE(at[i], std::string::npos) << i;
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << twice.out;
    const std::string reportEnd = "2 Track(s) Of 44100 Stereo 24 Bit Files =  529.20 KBytes/Sec\n"
                                  "\nPass 2 of 2\nPrecise time";
    EXPECT_NE(twice.out.find(reportEnd), std::string::npos) << twice.out;
}

TEST_F(RealRun, AFailedTestHasNullFiguresAndExitsOne)
{
    ProgramRun run = runTrakmon("read --tracks 12 --json " + base);
    EXPECT_EQ(run.exitCode, 1);
    std::vector<json> tests = jsonLines(run.out);
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_EQ(tests[0]["outcome"], "not-enough-track-files");
    for (const char* key : {"precise", "rounds", "requestLatency", "audio"})
        EXPECT_TRUE(tests[0][key].is_null()) << key;
}

TEST_F(RealRun, SweepRunsEveryCountAndItsTableAgreesWithTheTests)
{
    ProgramRun run = runTrakmon("sweep --request 512 --json " + base);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    std::vector<json> lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 1u + 16u + 1u);
    EXPECT_EQ(lines.front()["test"], "sweep-disk-need");
    EXPECT_EQ(lines.front()["freeBytesNeeded"], 100126720u);
    EXPECT_EQ(lines.front()["largestFileSizesSum"], 353894400u);

    const json& sweep = lines.back();
    EXPECT_EQ(sweep["test"], "sweep");
    EXPECT_EQ(sweep["allCompleted"], true);
    const uint32_t counts[] = {1, 2, 12, 24, 36, 48, 60, 72};
    ASSERT_EQ(sweep["rows"].size(), 8u);
    for (int i = 0; i < 8; ++i) {
        const json& write = lines[1 + 2 * i];
        const json& read = lines[2 + 2 * i];
        const json& row = sweep["rows"][i];
        SCOPED_TRACE(row.dump());
        EXPECT_EQ(write["test"], "write");
        EXPECT_EQ(read["test"], "read");
        EXPECT_EQ(write["trackCount"], counts[i]);
        EXPECT_EQ(read["trackCount"], counts[i]);
        EXPECT_EQ(row["trackCount"], counts[i]);
        expectConsistentAnalysis(write);
        expectConsistentAnalysis(read);
        EXPECT_NEAR(row["writeRateMBytesPerSec"].get<double>(),
                    write["precise"]["rateMBytesPerSec"].get<double>(), 1e-6);
        EXPECT_NEAR(row["readRateMBytesPerSec"].get<double>(),
                    read["precise"]["rateMBytesPerSec"].get<double>(), 1e-6);
        for (int f = 0; f < 4; ++f) {
            std::string name = write["audio"][f]["format"];
            double worse = std::min(write["audio"][f]["margin"].get<double>(),
                                    read["audio"][f]["margin"].get<double>());
            EXPECT_DOUBLE_EQ(row["formats"][name]["margin"].get<double>(), worse) << name;
        }
    }
    // Nothing removed: the 72 files of the last count stay, 1,048,576 bytes each.
    for (int number = 1; number <= 72; ++number) {
        char name[16];
        std::snprintf(name, sizeof name, ".%03d", number);
        EXPECT_EQ(std::filesystem::file_size(base + name), 1048576u) << name;
    }
}

TEST_F(RealRun, SweepThatCannotCreateItsFilesExitsOne)
{
    ProgramRun run = runTrakmon("sweep --request 512 " + folder + "/missing-folder/take");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("more than 100,126,720 bytes must be free"), std::string::npos) << run.out;
    // Every larger count would fail on the same first file: the sweep stops.
    EXPECT_NE(run.out.find("     1  create-failed"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("     2  create-failed"), std::string::npos) << run.out;
}

}  // namespace
#endif
