// trakmon session and capacity on a real, small file system (tmpfs takes
// direct I/O and never stalls for seconds, so a generous buffer cannot run
// out on it; the figures themselves are never asserted).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tests/cli/run_trakmon.h"

namespace {

class SessionCli : public testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTempFolder();
        disk = folder.path + "/disk";
        ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
        if (mount("trakmon-test", disk.c_str(), "tmpfs", 0, "size=256m") != 0)
            GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override
    {
        if (mounted) umount(disk.c_str());
        removeTempFolder(folder);
    }
    std::string base() const { return disk + "/take.wav"; }
    std::string file(const std::string& suffix) const { return disk + "/take." + suffix; }

    TempFolder folder;
    std::string disk;
    bool mounted = false;
};

std::vector<nlohmann::json> jsonLines(const std::string& out)
{
    std::vector<nlohmann::json> objects;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
    return objects;
}

// Plain input and output on the test folder's own disk: also run against
// trakmon.exe under Wine (TRAKMON_COMMAND). The buffers are far longer than
// any stall of a working disk.
class GoldenSession : public testing::Test {
protected:
    void SetUp() override { folder = makeTempFolder(); }
    void TearDown() override { removeTempFolder(folder); }
    TempFolder folder;
};

TEST_F(GoldenSession, ShortSessionAndCapacity)
{
    std::string base = folder.path + "/take.wav";
    RunResult session = runTrakmon(
        {"session", "--tracks", "2", "--seconds", "1", "--buffer", "2", "--request", "64", base});
    EXPECT_EQ(session.exitCode, 0) << session.err;
    EXPECT_NE(session.out.find("\nrecords 2 tracks of 48 kHz 24-bit mono with a 2.0 s buffer: no "
                               "dropout in 1 s, lowest headroom "),
              std::string::npos)
        << session.out;
    EXPECT_GT(fileSize(trackFile(folder.path, 2)), 0);
    // Recorded audio never repeats, and neither does what the session writes.
    std::set<std::string> blocks;
    size_t blockCount = 0;
    for (unsigned n = 1; n <= 2; ++n) {
        std::ifstream in(trackFile(folder.path, n), std::ios::binary);
        for (std::string block(4096, '\0'); in.read(&block[0], 4096); ++blockCount)
            blocks.insert(block);
    }
    EXPECT_GT(blockCount, 0u);
    EXPECT_EQ(blocks.size(), blockCount) << "some 4 KB blocks of the session repeat";

    RunResult capacity = runTrakmon({"capacity", "--seconds", "0.5", "--buffer", "1", "--request",
                                     "32", "--max-tracks", "2", base});
    EXPECT_EQ(capacity.exitCode, 0) << capacity.err;
    EXPECT_NE(capacity.out.find("\nThis disk records at least 2 tracks of 48 kHz 24-bit mono"),
              std::string::npos)
        << capacity.out;
    EXPECT_FALSE(fileExists(trackFile(folder.path, 1)));
}

TEST_F(SessionCli, RecordsAThousandTracksWithoutDropout)
{
    RunResult run = runTrakmon(
        {"session", "--tracks", "1001", "--seconds", "1.5", "--request", "32", base()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Dropouts: none\n"), std::string::npos) << run.out;
    EXPECT_TRUE(std::regex_search(
        run.out, std::regex("\nrecords 1001 tracks of 48 kHz 24-bit mono with a 5\\.0 s buffer: no "
                            "dropout in 1\\.5 s, lowest headroom [0-9]+\\.[0-9]{2} s, disk busy "
                            "[0-9]+ %\n$")))
        << run.out;
    // Four-digit numbers past 999; every file whole requests of audio that
    // had arrived (1.5 s of 144,000 bytes/s).
    for (const char* suffix : {"001", "999", "1000", "1001"}) {
        long long size = fileSize(file(suffix));
        EXPECT_GT(size, 0) << suffix;
        EXPECT_EQ(size % 32768, 0) << suffix;
        EXPECT_LE(size, 216000) << suffix;
    }
    EXPECT_FALSE(fileExists(file("1002")));
}

TEST_F(SessionCli, PlaysWhatAWriteTestMadeAndLogsEveryRequest)
{
    ASSERT_EQ(runTrakmon({"write", "--tracks", "2", base()}).exitCode, 0);
    std::string log = folder.path + "/requests.csv";
    RunResult run = runTrakmon({"session", "--play", "2", "--tracks", "1", "--seconds", "1",
                                "--buffer", "2", "--request", "64", "--json", "--log", log, base()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::vector<nlohmann::json> objects = jsonLines(run.out);
    ASSERT_EQ(objects.size(), 1u);
    nlohmann::json& session = objects[0];
    EXPECT_EQ(session["outcome"], "no-dropout");
    EXPECT_EQ(session["playTracks"], 2);
    EXPECT_EQ(session["firstRecordFile"], file("003"));
    EXPECT_EQ(session["playback"]["dropouts"], 0);
    EXPECT_EQ(session["recording"]["dropouts"], 0);
    EXPECT_EQ(fileSize(file("001")), 49807360);  // played, never written

    // One line per request; their latencies add up to the time inside requests.
    std::ifstream csv(log);
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line.substr(0, 30), "request,file_number,direction,");
    double latencyUs = 0;
    size_t count = 0, reads = 0;
    while (std::getline(csv, line)) {
        std::vector<std::string> fields;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        ASSERT_EQ(fields.size(), 9u) << line;
        latencyUs += std::stod(fields[6]);
        reads += fields[2] == "read";
        ++count;
    }
    EXPECT_EQ(count, session["requests"].get<size_t>());
    EXPECT_GT(reads, 0u);
    EXPECT_NEAR(latencyUs, session["busyNs"].get<double>() / 1e3, 0.001 * count);

    // The session's own 1 s recording is too short to play with 256 KByte
    // requests; a fourth file is missing.
    RunResult tooSmall = runTrakmon({"session", "--play", "3", "--seconds", "1", base()});
    EXPECT_EQ(tooSmall.exitCode, 1);
    EXPECT_NE(tooSmall.err.find(file("003") + ": holds less than one 256 KByte request\nFile Size Is Too Small!"),
              std::string::npos) << tooSmall.err;
    RunResult missing = runTrakmon({"session", "--play", "4", "--request", "64", "--seconds", "1", base()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find(file("004")), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("Not Enough Track Files!"), std::string::npos) << missing.err;
}

TEST_F(SessionCli, CapacitySearchRemovesEveryTrialsFiles)
{
    RunResult run = runTrakmon({"capacity", "--seconds", "0.5", "--buffer", "1", "--request", "32",
                                "--max-tracks", "6", "--play-ratio", "1:2", "--json", base()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::vector<nlohmann::json> objects = jsonLines(run.out);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["test"], "capacity-plan");
    nlohmann::json& capacity = objects[1];
    // At most 6 in all: 2 recorded and 4 played; tmpfs keeps up with both.
    EXPECT_EQ(capacity["limit"], 2);
    EXPECT_EQ(capacity["recordTracks"], 2);
    EXPECT_EQ(capacity["playTracks"], 4);
    EXPECT_EQ(capacity["atLeast"], true);
    ASSERT_EQ(capacity["trials"].size(), 2u);
    EXPECT_EQ(capacity["trials"][1]["recordTracks"], 2);
    EXPECT_EQ(capacity["trials"][1]["playTracks"], 4);
    EXPECT_EQ(capacity["trials"][1]["passed"], true);
    for (const char* name : {"take.001", "take.002", "take-play.001", "take-play.004"})
        EXPECT_FALSE(fileExists(disk + "/" + name)) << name;
}

TEST_F(SessionCli, InterruptedCapacitySearchRemovesItsFiles)
{
    // Ctrl-C in the middle of the first 5-second trial.
    RunResult run = runTrakmon({"capacity", "--seconds", "5", "--buffer", "1", "--request", "32",
                                "--max-tracks", "4", "--play-ratio", "1:1", base()},
                               1500);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("capacity search interrupted; its track files are removed"),
              std::string::npos)
        << run.err;
    for (const char* name : {"take.001", "take-play.001"})
        EXPECT_FALSE(fileExists(disk + "/" + name)) << name;
}

TEST_F(SessionCli, BadUsageTouchesNoFile)
{
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"session", "--tracks", "0", base()}, "from 1 to 4096"},
        {{"session", "--tracks", "4097", base()}, "from 1 to 4096"},
        {{"session", "--play", "-1", base()}, "from 0 to 4096"},
        {{"session", "--request", "30", base()}, "multiple of 4 KBytes from 32 to 4096"},
        {{"session", "--request", "33", base()}, "multiple of 4 KBytes from 32 to 4096"},
        {{"session", "--rate", "22050", base()}, "44100, 48000, 88200, 96000, 176400, 192000"},
        {{"session", "--bits", "20", base()}, "16, 24, 32"},
        {{"session", "--channels", "6", base()}, "1, 2"},
        {{"session", "--seconds", "0", base()}, "above 0"},
        {{"session", "--buffer", "1e3", base()}, "up to 60"},
        {{"session", "--buffer", "1", base()}, "not more than one 256 KByte request"},
        {{"session", "--log", "", base()}, "--log: the file name is empty"},
        {{"capacity", "--buffer", "2", base()}, "at most 9 % headroom"},
        {{"capacity", "--play-ratio", "3", base()}, "RECORDED:PLAYED"},
        {{"capacity", "--headroom", "101", base()}, "up to 100"},
        {{"capacity", "--tracks", "4", base()}, "--tracks"},
    };
    for (const Case& c : cases) {
        RunResult result = runTrakmon(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.mentions;
        EXPECT_NE(result.err.find(c.mentions), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fileExists(file("001")));
}

}  // namespace
