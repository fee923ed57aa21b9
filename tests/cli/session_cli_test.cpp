// trakmon session and capacity on a real, small file system (tmpfs takes
// direct I/O and never stalls for seconds, so a generous buffer cannot run
// out on it; the figures themselves are never asserted).
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
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
        if (mount("trakmon-test", disk.c_str(), "tmpfs", 0, "size=512m") != 0)
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

// The names in a folder, sorted.
std::set<std::string> folderNames(const std::string& path)
{
    std::set<std::string> names;
    if (DIR* folder = opendir(path.c_str())) {
        while (dirent* entry = readdir(folder))
            if (entry->d_name[0] != '.') names.insert(entry->d_name);
        closedir(folder);
    }
    return names;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files beside BASE that a search must leave as they are: one of them held
// locked by another program for as long as this lives.
struct FilesBeside {
    explicit FilesBeside(const std::string& folder) : folder(folder)
    {
        for (const char* name : {"take.001", "take.002", "take-play.001"})
            std::ofstream(folder + "/" + name, std::ios::binary) << "not the search's: " << name;
        locked = open((folder + "/take.002").c_str(), O_RDONLY | O_CLOEXEC);
        flock(locked, LOCK_EX);
        before = folderNames(folder);
    }
    ~FilesBeside() { close(locked); }
    void expectUntouched() const
    {
        EXPECT_EQ(folderNames(folder), before);
        for (const char* name : {"take.001", "take.002", "take-play.001"})
            EXPECT_EQ(fileText(folder + "/" + name), std::string("not the search's: ") + name);
    }
    std::string folder;
    int locked;
    std::set<std::string> before;
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

// A recorder's preset sets the buffer and the request by name, and every
// report names it.
TEST_F(GoldenSession, APresetSetsTheBufferAndTheRequest)
{
    RunResult session = runTrakmon({"session", "--preset", "medium", "--tracks", "1", "--seconds",
                                    "1", "--json", folder.path + "/take.wav"});
    nlohmann::json json = nlohmann::json::parse(session.out);
    EXPECT_EQ(json["preset"], "medium");
    EXPECT_EQ(json["bufferSeconds"], 10.0);
    EXPECT_EQ(json["requestSize"], 393216);  // 131,072 frames of 3 bytes
    RunResult text = runTrakmon({"session", "--preset", "small", "--tracks", "1", "--seconds", "1",
                                 folder.path + "/take.wav"});
    EXPECT_NE(text.out.find("5.0 s buffer a track (720,000 bytes) (Ardour's small preset); 192 "
                            "KByte requests"),
              std::string::npos)
        << text.out;
}

// Every file name of a session's JSON is UTF-8, as its base name is: on
// Windows each is converted from the code page the names come in.
TEST_F(GoldenSession, EveryNameInTheJsonIsUtf8)
{
    const std::string cafe = "caf\xC3\xA9";
    RunResult session = runTrakmon({"session", "--tracks", "2", "--seconds", "1", "--buffer", "2",
                                    "--request", "64", "--json", folder.path + "/" + cafe + ".wav"});
    EXPECT_EQ(session.exitCode, 1) << session.err;  // too short to tell
    nlohmann::json json = nlohmann::json::parse(session.out);
    for (const char* field : {"baseFileName", "firstRecordFile", "lastRecordFile"}) {
        std::string name = json[field].get<std::string>();
        EXPECT_NE(name.find(cafe), std::string::npos) << field << ": " << name;
        EXPECT_EQ(name.find("\xEF\xBF\xBD"), std::string::npos) << field << ": " << name;
    }
    if (json["storage"].is_object()) {
        EXPECT_EQ(json["storage"]["folder"].get<std::string>().find("\xEF\xBF\xBD"), std::string::npos);
    }
}

TEST_F(GoldenSession, ShortSessionAndCapacity)
{
    std::string base = folder.path + "/take.wav";
    // A session shorter than three buffers cannot say "no dropout".
    RunResult tooShort = runTrakmon(
        {"session", "--tracks", "2", "--seconds", "1", "--buffer", "2", "--request", "64", base});
    EXPECT_EQ(tooShort.exitCode, 1) << tooShort.err;
    EXPECT_NE(tooShort.out.find("\ncannot tell whether this disk records 2 tracks of 48 kHz 24-bit "
                                "mono with a 2.0 s buffer, file cache bypassed: a session of 1 s "
                                "is too short to show a dropout (it takes 6 s: "),
              std::string::npos)
        << tooShort.out;
    RunResult session = runTrakmon(
        {"session", "--tracks", "2", "--seconds", "3", "--buffer", "1", "--request", "32", base});
    EXPECT_EQ(session.exitCode, 0) << session.err;
    EXPECT_NE(session.out.find("\nrecords 2 tracks of 48 kHz 24-bit mono with a 1.0 s buffer, file "
                               "cache bypassed: no dropout in 3 s, lowest headroom "),
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

    std::set<std::string> before = folderNames(folder.path);
    RunResult capacity = runTrakmon({"capacity", "--seconds", "3", "--buffer", "1", "--request",
                                     "32", "--max-tracks", "2", "--repeat", "1", base});
    EXPECT_EQ(capacity.exitCode, 0) << capacity.err;
    EXPECT_NE(capacity.out.find("\nThis disk records at least 2 tracks of 48 kHz 24-bit mono"),
              std::string::npos)
        << capacity.out;
    EXPECT_EQ(folderNames(folder.path), before);
}

TEST_F(SessionCli, RecordsAThousandTracksWithoutDropout)
{
    std::string log = folder.path + "/requests.csv";
    RunResult run = runTrakmon({"session", "--tracks", "1001", "--seconds", "3", "--buffer", "1",
                                "--request", "32", "--log", log, base()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Dropouts: none\n"), std::string::npos) << run.out;
    EXPECT_TRUE(std::regex_search(
        run.out, std::regex("\nrecords 1001 tracks of 48 kHz 24-bit mono with a 1\\.0 s buffer, "
                            "file cache bypassed: no dropout in 3 s, lowest headroom "
                            "[0-9]\\.[0-9]{2} s of a possible 0\\.77 s: it survives a "
                            "[0-9]\\.[0-9]{2} s stall; 144\\.14 MB/s in all, disk busy "
                            "[0-9]+\\.[0-9] %\n$")))
        << run.out;
    // Four-digit numbers past 999; every file whole requests of audio that
    // had arrived (3 s of 144,000 bytes/s).
    for (const char* suffix : {"001", "999", "1000", "1001"}) {
        long long size = fileSize(file(suffix));
        EXPECT_GT(size, 0) << suffix;
        EXPECT_EQ(size % 32768, 0) << suffix;
        EXPECT_LE(size, 432000) << suffix;
    }
    EXPECT_FALSE(fileExists(file("1002")));
    // The log went out in pieces as the session ran (about 900 KB): every
    // request in order, none lost between them.
    std::smatch count;
    ASSERT_TRUE(std::regex_search(run.out, count, std::regex("\\(([0-9,]+) requests\\)"))) << run.out;
    std::string requests = std::regex_replace(count[1].str(), std::regex(","), "");
    std::istringstream lines(fileText(log));
    std::string line, last;
    size_t number = 0;
    for (std::getline(lines, line); std::getline(lines, line); last = line) ++number;
    EXPECT_EQ(std::to_string(number), requests);
    EXPECT_EQ(last.substr(0, last.find(',')), requests);
    EXPECT_GT(fileSize(log), 3 * 262144);

    // A log that cannot be written fails the session, with the reason.
    RunResult full = runTrakmon({"session", "--seconds", "3", "--buffer", "1", "--request", "32",
                                 "--log", "/dev/full", base()});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.out.find(": no dropout in 3 s"), std::string::npos) << full.out;
    EXPECT_EQ(full.err, "trakmon: cannot write the log /dev/full: No space left on device\n");
}

TEST_F(SessionCli, PlaysWhatAWriteTestMadeAndLogsEveryRequest)
{
    ASSERT_EQ(runTrakmon({"write", "--tracks", "2", base()}).exitCode, 0);
    std::string log = folder.path + "/requests.csv";
    RunResult run = runTrakmon({"session", "--play", "2", "--tracks", "1", "--seconds", "2.3",
                                "--buffer", "0.5", "--request", "32", "--cache", "os", "--json",
                                "--log", log, base()});
    // On tmpfs nothing tells whether the recording would reach a disk in time.
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err;
    std::vector<nlohmann::json> objects = jsonLines(run.out);
    ASSERT_EQ(objects.size(), 1u);
    nlohmann::json& session = objects[0];
    EXPECT_EQ(session["outcome"], "drain-unknown");
    EXPECT_EQ(session["flush"]["drain"], "unknown");
    EXPECT_EQ(session["storage"]["fileSystem"], "tmpfs");
    EXPECT_EQ(session["cache"], "os");
    EXPECT_EQ(session["playedCold"], true);
    EXPECT_NE(session["verdict"].get<std::string>().find(", through the file cache: no dropout"),
              std::string::npos);
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

    // The session's own 2.3 s recording is too short to play with 512 KByte
    // requests; a fourth file is missing. Neither leaves a log behind.
    std::string plot = folder.path + "/never.svg";
    RunResult tooSmall = runTrakmon(
        {"session", "--play", "3", "--request", "512", "--seconds", "1", "--plot", plot, base()});
    EXPECT_EQ(tooSmall.exitCode, 1);
    EXPECT_NE(tooSmall.err.find(file("003") + ": holds less than one 512 KByte request\nFile Size Is Too Small!"),
              std::string::npos) << tooSmall.err;
    EXPECT_FALSE(fileExists(plot));
    RunResult missing = runTrakmon({"session", "--play", "4", "--request", "64", "--seconds", "1", base()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find(file("004")), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("Not Enough Track Files!"), std::string::npos) << missing.err;
}

TEST_F(SessionCli, CapacitySearchMakesAndRemovesItsOwnFolder)
{
    FilesBeside beside(disk);
    RunResult run = runTrakmon({"capacity", "--seconds", "3", "--buffer", "1", "--request", "32",
                                "--max-tracks", "6", "--play-ratio", "1:2", "--repeat", "2",
                                "--take", "0.05", "--json", base()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::vector<nlohmann::json> objects = jsonLines(run.out);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["test"], "capacity-plan");
    nlohmann::json& capacity = objects[1];
    // At most 6 in all: 2 recorded and 4 played, twice; tmpfs keeps up with both.
    std::string folder = capacity["searchFolder"];
    EXPECT_EQ(folder.rfind(base() + ".capacity-", 0), 0u) << folder;
    EXPECT_EQ(capacity["cache"], "bypass");
    EXPECT_EQ(capacity["limit"], 2);
    EXPECT_EQ(capacity["recordTracks"], 2);
    EXPECT_EQ(capacity["playTracks"], 4);
    EXPECT_EQ(capacity["passes"], 2);
    EXPECT_EQ(capacity["atLeast"], true);
    ASSERT_EQ(capacity["trials"].size(), 2u);
    EXPECT_EQ(capacity["trials"][1]["firstRecordFile"], folder + "/take.001");
    EXPECT_EQ(capacity["trials"][1]["playTracks"], 4);
    EXPECT_EQ(capacity["trials"][1]["passed"], true);
    // Then a take of 3 s at the answer, which the command's time includes.
    EXPECT_EQ(capacity["take"]["passed"], true) << capacity["take"];
    EXPECT_GE(capacity["elapsedSeconds"].get<double>(),
              capacity["searchSeconds"].get<double>() + 3.0);
    beside.expectUntouched();
}

TEST_F(SessionCli, InterruptedCapacitySearchAtTheDefaultsRemovesItsFolder)
{
    // Ctrl-C, a hang-up or a termination request in the first trial of a
    // search at 44.1 kHz 16-bit with every other option at its default
    // (128 KByte requests, 30 s trials).
    FilesBeside beside(disk);
    for (int number : {SIGINT, SIGHUP, SIGTERM}) {
        SCOPED_TRACE(strsignal(number));
        RunResult run = runTrakmon({"capacity", "--rate", "44100", "--bits", "16", "--play-ratio",
                                    "1:1", "--json", base()},
                                   {{2500, number}});
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_LT(run.msAfterLastSignal, 2000);
        std::vector<nlohmann::json> objects = jsonLines(run.out);
        ASSERT_EQ(objects.size(), 2u) << run.out;
        EXPECT_NE(objects[0]["text"].get<std::string>().find(
                      "128 KByte requests (1.486 s of audio), file cache bypassed, trials of 30 s"),
                  std::string::npos)
            << objects[0];
        EXPECT_EQ(objects[1]["outcome"], "interrupted");
        EXPECT_EQ(objects[1]["completed"], false);
        EXPECT_EQ(objects[1]["sentence"].get<std::string>().find("records"), std::string::npos)
            << objects[1]["sentence"];
        EXPECT_NE(run.err.find("capacity search interrupted; its track files are removed"),
                  std::string::npos)
            << run.err;
        beside.expectUntouched();
    }
}

// A search killed outright leaves its folder: the next one names it with its
// size, never takes its bytes as free without saying so, and removes it only
// when asked; a folder whose search holds its lock is never removed.
TEST_F(SessionCli, KilledSearchLeavesAFolderTheNextOneNames)
{
    std::vector<std::string> search = {"capacity", "--seconds", "3", "--buffer", "1", "--request",
                                       "32", "--max-tracks", "2", "--repeat", "1", "--json", base()};
    RunResult killed = runTrakmon({"capacity", "--seconds", "30", base()}, {{2500, SIGKILL}});
    EXPECT_EQ(killed.exitCode, 128 + SIGKILL);
    std::set<std::string> left = folderNames(disk);
    ASSERT_EQ(left.size(), 1u);
    std::string leftFolder = disk + "/" + *left.begin();

    std::string running = base() + ".capacity-running";
    ASSERT_EQ(mkdir(running.c_str(), 0755), 0);
    int lock = open((running + "/.trakmon.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);

    for (bool remove : {false, true}) {
        std::vector<std::string> args = search;
        if (remove) args.insert(args.begin() + 1, "--remove-leftovers");
        RunResult run = runTrakmon(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        nlohmann::json capacity = jsonLines(run.out).back();
        std::map<std::string, nlohmann::json> others;
        for (const nlohmann::json& other : capacity["otherSearchFolders"]) others[other["path"]] = other;
        EXPECT_EQ(others.at(running)["inUse"], true);
        if (!remove) {
            EXPECT_EQ(others.at(leftFolder)["inUse"], false);
            EXPECT_GT(others.at(leftFolder)["bytes"].get<uint64_t>(), 0u);
            EXPECT_NE(jsonLines(run.out)[0]["text"].get<std::string>().find(
                          "Left by an earlier search: " + leftFolder),
                      std::string::npos);
        } else {
            EXPECT_EQ(others.count(leftFolder), 0u);
        }
    }
    EXPECT_EQ(folderNames(disk), (std::set<std::string>{"take.wav.capacity-running"}));
    close(lock);
}

// The table on tmpfs with short trials: every cell predicted, tried and
// answered, the picture written, the files beside BASE and the folder as
// they were before.
TEST_F(SessionCli, TableOfFormatsAndModes)
{
    FilesBeside beside(disk);
    std::string plot = folder.path + "/table.svg";
    RunResult run = runTrakmon({"table", "--formats", "48000/24,96000/24/stereo", "--modes",
                                "record,play,1:3", "--seconds", "3", "--buffer", "1", "--request",
                                "32", "--max-tracks", "16", "--json", "--plot", plot, base()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::vector<nlohmann::json> objects = jsonLines(run.out);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["test"], "table-plan");
    const nlohmann::json& table = objects[1];
    EXPECT_EQ(table["model"]["samples"].size(), 6u);  // 32, 64 and 128 KByte, both ways
    ASSERT_EQ(table["cells"].size(), 6u);
    for (const nlohmann::json& cell : table["cells"]) {
        SCOPED_TRACE(cell.dump());
        EXPECT_EQ(cell["outcome"], "at-least");  // tmpfs keeps up with 16 tracks
        EXPECT_FALSE(cell["predicted"].is_null());
        EXPECT_GE(cell["passes"].get<unsigned>(), 2u);
        EXPECT_EQ(cell["units"].get<unsigned>() * (cell["mode"]["record"].get<unsigned>() +
                                                   cell["mode"]["play"].get<unsigned>()),
                  16u);
    }
    EXPECT_NE(fileText(plot).find("<svg"), std::string::npos);
    beside.expectUntouched();
}

TEST_F(SessionCli, ADottedFolderKeepsEveryFile)
{
    std::string dotted = disk + "/take.v2";
    ASSERT_EQ(mkdir(dotted.c_str(), 0755), 0);
    RunResult session = runTrakmon({"session", "--tracks", "2", "--seconds", "3", "--buffer", "1",
                                    "--request", "32", dotted + "/take"});
    EXPECT_EQ(session.exitCode, 0) << session.err;
    EXPECT_EQ(folderNames(dotted), (std::set<std::string>{"take.001", "take.002"}));
    RunResult capacity = runTrakmon({"capacity", "--seconds", "3", "--buffer", "1", "--request",
                                     "32", "--max-tracks", "1", "--repeat", "1", dotted + "/take"});
    EXPECT_EQ(capacity.exitCode, 0) << capacity.err;
    EXPECT_EQ(folderNames(dotted), (std::set<std::string>{"take.001", "take.002"}));
    EXPECT_EQ(folderNames(disk), std::set<std::string>{"take.v2"});
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
        {{"session", "--buffer", "1", base()}, "not more than one 192 KByte request"},
        {{"session", "--cache", "none", base()}, "bypass"},
        {{"session", "--log", "", base()}, "--log: the file name is empty"},
        {{"capacity", "--buffer", "2", base()}, "keeps at most 32 % headroom"},
        {{"capacity", "--seconds", "5", base()}, "must last at least 15 s"},
        {{"capacity", "--repeat", "0", base()}, "from 1 to 10"},
        {{"capacity", "--play-ratio", "3", base()}, "RECORDED:PLAYED"},
        {{"capacity", "--headroom", "101", base()}, "up to 100"},
        {{"capacity", "--tracks", "4", base()}, "--tracks"},
        {{"table", "--formats", "22050/16", base()}, "RATE/BITS[/mono|stereo]"},
        {{"table", "--modes", "record,0:0", base()}, "record, play or RECORDED:PLAYED"},
        {{"table", "--repeat", "1", base()}, "from 2 to 10"},
        {{"table", "--buffer", "1", base()}, "keeps at most"},
        {{"capacity", "--preset", "small", "--request", "64", base()}, "excludes"},
        {{"table", "--buffer", "5", "--preset", "medium", base()}, "excludes"},
        {{"session", "--preset", "huge", base()}, "small"},
    };
    for (const Case& c : cases) {
        RunResult result = runTrakmon(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.mentions;
        EXPECT_NE(result.err.find(c.mentions), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fileExists(file("001")));
}

// Through the file cache a session ends with its recording on the disk, and
// a disk slower than the recording fails it though no audio dropped: ext4 on
// a loop device, its writes capped at 1 MB/s (a blkio limit) for 10 tracks
// that need 1.44 MB/s, then uncapped.
TEST(SessionOnDisk, ThroughTheCacheASlowDiskFallsBehind)
{
    TempFolder folder = makeTempFolder();
    std::string where = folder.path + "/disk";
    std::string image = folder.path + "/ext4.img";
    const char limits[] = "/sys/fs/cgroup/blkio/blkio.throttle.write_bps_device";
    bool mounted = false;
    std::string device;
    auto cleanUp = [&] {
        if (!device.empty()) std::ofstream(limits) << device << " 0\n";
        if (mounted) umount(where.c_str());
        removeTempFolder(folder);
    };
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mkdir(where.c_str(), 0755) != 0 ||
        std::system(("PATH=$PATH:/sbin:/usr/sbin; truncate -s 96M " + image + " && mkfs.ext4 -q " +
                     image + " && mount -o loop " + image + " " + where)
                        .c_str()) != 0) {
        cleanUp();
        GTEST_SKIP() << "cannot mount ext4 on a loop device here";
    }
    mounted = true;
    struct stat info;
    ASSERT_EQ(stat(where.c_str(), &info), 0);
    device = std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
    std::vector<std::string> args = {"session", "--tracks", "10", "--seconds", "3", "--buffer",
                                     "0.5", "--request", "32", "--cache", "os", "--json",
                                     where + "/take.wav"};
    struct Case {
        uint64_t capBytesPerSecond;
        int exitCode;
        const char* outcome;
    };
    for (const Case& c : {Case{1000000, 1, "disk-behind"}, Case{0, 0, "no-dropout"}}) {
        SCOPED_TRACE(c.outcome);
        if (!(std::ofstream(limits) << device << " " << c.capBytesPerSecond << "\n")) {
            cleanUp();
            GTEST_SKIP() << "no blkio write limit here: " << limits;
        }
        RunResult run = runTrakmon(args);
        std::vector<nlohmann::json> objects = jsonLines(run.out);
        ASSERT_EQ(objects.size(), 1u) << run.out << run.err;
        const nlohmann::json& flush = objects[0]["flush"];
        EXPECT_EQ(run.exitCode, c.exitCode) << objects[0]["verdict"];
        EXPECT_EQ(objects[0]["outcome"], c.outcome) << objects[0]["verdict"];
        EXPECT_EQ(objects[0]["storage"]["device"].get<std::string>().rfind("/dev/loop", 0), 0u);
        EXPECT_EQ(objects[0]["recording"]["dropouts"], 0);
        if (c.capBytesPerSecond != 0) {
            EXPECT_EQ(flush["drain"], "too-slow") << flush;
            EXPECT_LT(flush["drainBytesPerSecond"].get<double>(), 1.44e6) << flush;
        } else {
            EXPECT_NE(flush["drain"], "too-slow") << flush;
        }
    }
    cleanUp();
}

}  // namespace
