// The real trakmon on real files. GoldenCli cases are plain input/output and
// run against any build of the command line (TRAKMON_COMMAND); PosixCli cases
// depend on Linux file semantics (locks, links, mounted file systems).
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "tests/cli/run_trakmon.h"

namespace {

const std::string rule =
    "- - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - -";
const std::string notEnoughFiles =
    "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.\n";
const std::string fileTooSmall =
    "File Size Is Too Small!\n\nDo The Write Test To Create The Needed Files.\n";

struct TrackRates {
    unsigned tracks;
    const char* mono16;
    const char* mono24;
    const char* stereo16;
    const char* stereo24;
};

// The results as the box shows them, with the time that the run measured.
std::string expectedResults(bool write, unsigned long bytes, unsigned long ms, unsigned kbytes,
                            unsigned long fileSize, const TrackRates& rates)
{
    unsigned long rate = bytes / (ms == 0 ? 1 : ms);
    std::string t = rates.tracks == 0 ? "" : std::to_string(rates.tracks);
    return std::string(write ? "Disk Write Test Results\nTotal Bytes Written = "
                             : "Disk Read Test Results\nTotal Bytes Read = ") +
           std::to_string(bytes) + "\n\nTotal Time In Milliseconds = " + std::to_string(ms) +
           "\n\n" + rule + "\nActual Transfer Rate = " + std::to_string(rate) + " KBytes/Sec\n" +
           rule + "\n\n" + (write ? "Write" : "Read") + " Request Size = " +
           std::to_string(kbytes) + " KBytes\n\nIndividual File Size = " +
           std::to_string(fileSize) + " Bytes\n\nGeneral Track Configuration Transfer Rates:\n" +
           rule + "\n" + t + " Track(s) Of 44100 Mono 16 Bit Files =  " + rates.mono16 +
           " KBytes/Sec\n" + t + " Track(s) Of 44100 Mono 24 Bit Files =  " + rates.mono24 +
           " KBytes/Sec\n\n" + t + " Track(s) Of 44100 Stereo 16 Bit Files =  " + rates.stereo16 +
           " KBytes/Sec\n" + t + " Track(s) Of 44100 Stereo 24 Bit Files =  " + rates.stereo24 +
           " KBytes/Sec\n";
}

// Every "Total Time In Milliseconds" of an output, in order.
std::vector<unsigned long> times(const std::string& out)
{
    std::vector<unsigned long> found;
    std::regex pattern("Total Time In Milliseconds = ([0-9]+)\n");
    for (std::sregex_iterator it(out.begin(), out.end(), pattern), end; it != end; ++it)
        found.push_back(std::stoul((*it)[1]));
    return found;
}

// Everything from a results caption up to the end of its report.
std::string reportAt(const std::string& out, size_t index)
{
    size_t start = 0;
    for (size_t i = 0; i <= index; ++i) {
        size_t write = out.find("Disk Write Test Results\n", i == 0 ? 0 : start + 1);
        size_t read = out.find("Disk Read Test Results\n", i == 0 ? 0 : start + 1);
        start = std::min(write, read);
    }
    size_t end = out.find("Stereo 24 Bit Files", start);
    end = out.find('\n', end) + 1;
    return out.substr(start, end - start);
}

const TrackRates twelve = {12, "1058.40", "1587.60", "2116.80", "3175.20"};
const TrackRates one = {1, "88.20", "132.30", "176.40", "264.60"};

class GoldenCli : public testing::Test {
protected:
    void SetUp() override { folder = makeTempFolder(); }
    void TearDown() override { removeTempFolder(folder); }
    std::string base() const { return folder.path + "/take.wav"; }
    TempFolder folder;
};

TEST_F(GoldenCli, WriteThenReadTwelveTracks)
{
    RunResult write = runTrakmon({"write", "--tracks", "12", "--request", "128", base()});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    ASSERT_EQ(times(write.out).size(), 1u);
    EXPECT_EQ(reportAt(write.out, 0),
              expectedResults(true, 94371840, times(write.out)[0], 128, 7864320, twelve));
    for (unsigned n = 1; n <= 12; ++n) EXPECT_EQ(fileSize(trackFile(folder.path, n)), 7864320);
    EXPECT_FALSE(fileExists(trackFile(folder.path, 13)));
    EXPECT_FALSE(fileExists(base()));  // the base name itself is never created

    RunResult read = runTrakmon({"read", "--tracks", "12", "--request", "256", base()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    ASSERT_EQ(times(read.out).size(), 1u);
    EXPECT_EQ(reportAt(read.out, 0),
              expectedResults(false, 94371840, times(read.out)[0], 256, 7864320, twelve));
    for (unsigned n = 1; n <= 12; ++n) EXPECT_EQ(fileSize(trackFile(folder.path, n)), 7864320);
}

TEST_F(GoldenCli, RunWritesThenReadsWithTheirOwnRequestSizes)
{
    RunResult run = runTrakmon(
        {"run", "--tracks", "1", "--write-request", "64", "--read-request", "512", base()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<unsigned long> ms = times(run.out);
    ASSERT_EQ(ms.size(), 2u);
    EXPECT_EQ(reportAt(run.out, 0), expectedResults(true, 99614720, ms[0], 64, 99614720, one));
    EXPECT_EQ(reportAt(run.out, 1), expectedResults(false, 99614720, ms[1], 512, 99614720, one));
    EXPECT_LT(run.out.find("Disk Write Test Results"), run.out.find("Disk Read Test Results"));
}

// Every 4 KB block carries its offset in the pass (low half) and the pass
// number (high half) in its cache line (block number mod 64) of 64 bytes;
// the rest is the process's own random fill.
TEST_F(GoldenCli, WrittenBlocksCarryTheirPassOffsetAndEachRunItsOwnData)
{
    std::string firstFill;
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(runTrakmon({"write", "--tracks", "2", "--request", "32", base()}).exitCode, 0);
        for (unsigned file = 0; file < 2; ++file) {
            std::ifstream in(trackFile(folder.path, file + 1), std::ios::binary);
            std::vector<char> block(4096);
            for (uint64_t at = 0; in.read(block.data(), 4096); at += 4096) {
                uint64_t stamp;
                size_t line = at % 32768 / 4096 % 64 * 64;  // block number in the buffer
                std::memcpy(&stamp, block.data() + line, 8);
                uint64_t request = at / 32768 * 2 + file;  // round-robin over 2 files
                ASSERT_EQ(stamp, (1ull << 32) + request * 32768 + at % 32768)
                    << "file " << file + 1 << " offset " << at;
                if (file == 0 && at == 0 && run == 0) firstFill.assign(block.data() + 8, 4088);
                if (file == 0 && at == 0 && run == 1) {
                    EXPECT_NE(firstFill, std::string(block.data() + 8, 4088));
                }
            }
            EXPECT_TRUE(in.eof());
        }
    }
}

TEST_F(GoldenCli, ReadingMoreTracksThanWrittenNeedsTheWriteTest)
{
    ASSERT_EQ(runTrakmon({"write", "--tracks", "12", base()}).exitCode, 0);
    RunResult read = runTrakmon({"read", "--tracks", "24", base()});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_EQ(read.out, "");
    EXPECT_NE(read.err.find(notEnoughFiles), std::string::npos) << read.err;
    EXPECT_NE(read.err.find("take.013"), std::string::npos) << read.err;
}

TEST_F(GoldenCli, FilesOfSeventyTwoTracksAreTooSmallForOne)
{
    ASSERT_EQ(runTrakmon({"write", "--tracks", "72", "--request", "512", base()}).exitCode, 0);
    EXPECT_EQ(fileSize(trackFile(folder.path, 72)), 1048576);
    RunResult read = runTrakmon({"read", "--tracks", "1", base()});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_EQ(read.out, "");
    EXPECT_NE(read.err.find(fileTooSmall), std::string::npos) << read.err;
}

TEST_F(GoldenCli, MissingFilesAreNotEnoughTrackFiles)
{
    RunResult read = runTrakmon({"read", "--tracks", "2", base()});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_NE(read.err.find(notEnoughFiles), std::string::npos) << read.err;
}

TEST_F(GoldenCli, EarlierLongerTrackFileIsCutToItsPlannedSize)
{
    {
        std::ofstream longer(trackFile(folder.path, 1), std::ios::binary);
        longer << std::string(60000000, 'x');
    }
    ASSERT_EQ(runTrakmon({"write", "--tracks", "2", base()}).exitCode, 0);
    EXPECT_EQ(fileSize(trackFile(folder.path, 1)), 49807360);
    EXPECT_EQ(fileSize(trackFile(folder.path, 2)), 49807360);
}

// Only a dot of the file name counts: one in a folder's name stays.
TEST_F(GoldenCli, DottedFolderKeepsItsTrackFiles)
{
    const std::string dotted = folder.path + "/take.v2";
    ASSERT_EQ(mkdir(dotted.c_str(), 0755), 0);
    RunResult write = runTrakmon({"write", "--tracks", "2", dotted + "/take"});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_EQ(fileSize(dotted + "/take.001"), 49807360);
    EXPECT_EQ(fileSize(dotted + "/take.002"), 49807360);
    EXPECT_FALSE(fileExists(folder.path + "/take.001"));
}

TEST_F(GoldenCli, BadUsageTouchesNoFile)
{
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"write", "--tracks", "5", base()}, "1, 2, 12, 24, 36, 48, 60, 72"},
        {{"write", "--tracks", "0", base()}, "1, 2, 12, 24, 36, 48, 60, 72"},
        {{"read", "--tracks", "twelve", base()}, "1, 2, 12, 24, 36, 48, 60, 72"},
        {{"write", "--request", "100", base()}, "32, 64, 128, 256, 512"},
        {{"run", "--read-request", "1024", base()}, "32, 64, 128, 256, 512"},
        {{"run", "--request", "128", base()}, "--request"},
        {{"write"}, "BASE"},
        {{"erase", base()}, "subcommand"},
        {{"write", std::string(300, 'a')}, "259"},
        {{"write", "--repeat", "0", base()}, "from 1 to 100"},
        {{"sweep", "--repeat", "101", base()}, "from 1 to 100"},
        {{"read", "--rate", "44000", base()}, "44100, 48000, 88200, 96000, 176400, 192000"},
        {{"run", "--bits", "20", base()}, "16, 24, 32"},
        {{"write", "--log", folder.path + "/no/such/folder/log.csv", base()}, "log.csv"},
        {{"write", "--plot", trackFile(folder.path, 1), "--tracks", "2", base()}, "track file"},
        {{"run", "--log", folder.path + "/x", "--plot", folder.path + "/x", base()}, "one file"},
    };
    for (const Case& c : cases) {
        RunResult result = runTrakmon(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.mentions;
        EXPECT_NE(result.err.find(c.mentions), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fileExists(trackFile(folder.path, 1)));
}

TEST_F(GoldenCli, HelpAndVersion)
{
    RunResult help = runTrakmon({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("write"), std::string::npos);
    EXPECT_NE(help.out.find("read"), std::string::npos);
    RunResult commandHelp = runTrakmon({"run", "--help"});
    EXPECT_EQ(commandHelp.exitCode, 0);
    EXPECT_NE(commandHelp.out.find("--write-request"), std::string::npos);
    for (const char* option : {"--repeat", "median of 5 or more", "--rate", "--bits", "--log",
                               "--plot"})
        EXPECT_NE(commandHelp.out.find(option), std::string::npos) << option;
    RunResult version = runTrakmon({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("trakmon 2."), std::string::npos);
}

TEST_F(GoldenCli, JsonHasOneObjectPerTest)
{
    RunResult run = runTrakmon({"run", "--tracks", "12", "--json", base()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::vector<nlohmann::json> objects;
    while (std::getline(lines, line)) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["test"], "write");
    EXPECT_EQ(objects[1]["test"], "read");
    for (const nlohmann::json& o : objects) {
        EXPECT_EQ(o["outcome"], "completed");
        EXPECT_EQ(o["trackCount"], 12);
        EXPECT_EQ(o["requestSize"], 131072);
        EXPECT_EQ(o["perFileSize"], 7864320);
        EXPECT_EQ(o["totalBytes"], 94371840);
        EXPECT_TRUE(o["elapsedMs"].is_number_unsigned());
        EXPECT_EQ(o["rateKBytesPerSec"],
                  94371840u / std::max<unsigned>(1, o["elapsedMs"].get<unsigned>()));
        EXPECT_DOUBLE_EQ(o["trackConfigurationRates"]["Stereo 24 Bit"].get<double>(), 3175.2);
        EXPECT_TRUE(o.contains("failure") && o["failure"].is_null())
            << "failure: " << o.value("failure", nlohmann::json("absent"));
    }
    RunResult failed = runTrakmon({"read", "--tracks", "72", "--json", folder.path + "/other"});
    EXPECT_EQ(failed.exitCode, 1);
    nlohmann::json o = nlohmann::json::parse(failed.out);
    EXPECT_EQ(o["outcome"], "not-enough-track-files");
    EXPECT_TRUE(o["totalBytes"].is_null());
    EXPECT_EQ(o["failure"]["call"], "open") << o["failure"];
    EXPECT_EQ(o["failure"]["cause"], "not-found") << o["failure"];
}

class PosixCli : public GoldenCli {};

// Holds a track file open with the exclusive lock until released.
struct LockHolder {
    pid_t pid = -1;
    int release = -1;
};

LockHolder holdLock(const std::string& path)
{
    int ready[2], release[2];
    EXPECT_EQ(pipe2(ready, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(release, O_CLOEXEC), 0);
    LockHolder holder;
    holder.pid = fork();
    if (holder.pid == 0) {
        close(release[1]);
        close(ready[0]);
        int fd = open(path.c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        char byte = 1;
        if (write(ready[1], &byte, 1) != 1) _exit(1);
        if (read(release[0], &byte, 1) < 0) _exit(1);  // until the parent closes it
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char byte;
    EXPECT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    holder.release = release[1];
    return holder;
}

void releaseLock(const LockHolder& holder)
{
    close(holder.release);
    waitpid(holder.pid, nullptr, 0);
}

TEST_F(PosixCli, TrackFileHeldByAnotherProcess)
{
    ASSERT_EQ(runTrakmon({"write", "--tracks", "2", base()}).exitCode, 0);
    LockHolder holder = holdLock(trackFile(folder.path, 2));

    RunResult read = runTrakmon({"read", "--tracks", "2", base()});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_NE(read.err.find(notEnoughFiles), std::string::npos) << read.err;
    EXPECT_NE(read.err.find("another program holds the file open"), std::string::npos);

    // The write test must not empty a file that is in use.
    RunResult write = runTrakmon({"write", "--tracks", "2", base()});
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_EQ(write.out, "");
    EXPECT_NE(write.err.find("take.002"), std::string::npos) << write.err;
    EXPECT_EQ(fileSize(trackFile(folder.path, 2)), 49807360);
    releaseLock(holder);

    EXPECT_EQ(runTrakmon({"run", "--tracks", "2", base()}).exitCode, 0);
}

TEST_F(PosixCli, SymbolicLinkIsNeverFollowed)
{
    std::string victim = folder.path + "/precious.wav";
    {
        std::ofstream out(victim, std::ios::binary);
        out << std::string(8192, 'p');
    }
    ASSERT_EQ(symlink(victim.c_str(), trackFile(folder.path, 1).c_str()), 0);
    RunResult write = runTrakmon({"write", "--tracks", "1", base()});
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_EQ(write.out, "");
    EXPECT_NE(write.err.find("take.001"), std::string::npos) << write.err;
    EXPECT_NE(write.err.find("symbolic link"), std::string::npos) << write.err;
    EXPECT_EQ(fileSize(victim), 8192);

    RunResult read = runTrakmon({"read", "--tracks", "1", base()});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_NE(read.err.find(notEnoughFiles), std::string::npos);
}

TEST_F(PosixCli, DirectoryDeviceOrPipeIsNoTrackFile)
{
    ASSERT_EQ(mkdir(trackFile(folder.path, 1).c_str(), 0755), 0);
    RunResult directory = runTrakmon({"write", "--tracks", "1", base()});
    EXPECT_EQ(directory.exitCode, 1);
    EXPECT_NE(directory.err.find("take.001"), std::string::npos) << directory.err;

    ASSERT_EQ(symlink("/dev/zero", (folder.path + "/dev.001").c_str()), 0);
    RunResult device = runTrakmon({"read", "--tracks", "1", folder.path + "/dev.wav"});
    EXPECT_EQ(device.exitCode, 1);
    EXPECT_NE(device.err.find(notEnoughFiles), std::string::npos) << device.err;

    ASSERT_EQ(mkfifo((folder.path + "/pipe.001").c_str(), 0644), 0);
    RunResult fifo = runTrakmon({"write", "--tracks", "1", folder.path + "/pipe.wav"});
    EXPECT_EQ(fifo.exitCode, 1);  // and it did not block on the pipe
    EXPECT_NE(fifo.err.find("not a regular file"), std::string::npos) << fifo.err;
}

TEST_F(PosixCli, FullDiskWarnsAndWritesNothing)
{
    std::string small = folder.path + "/small";
    ASSERT_EQ(mkdir(small.c_str(), 0755), 0);
    if (mount("trakmon-test", small.c_str(), "tmpfs", 0, "size=64m") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    RunResult write = runTrakmon({"write", "--tracks", "12", small + "/take.wav"});
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_EQ(write.out, "");
    EXPECT_NE(write.err.find("WARNING\nNot Enough Disk Space On Drive \nTo Write Test Files!\n"),
              std::string::npos)
        << write.err;
    // The files were created before the question, and stay, empty.
    EXPECT_EQ(fileSize(small + "/take.001"), 0);
    EXPECT_EQ(fileSize(small + "/take.012"), 0);
    EXPECT_FALSE(fileExists(small + "/take.013"));

    RunResult read = runTrakmon({"read", "--tracks", "12", small + "/take.wav"});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_NE(read.err.find(fileTooSmall), std::string::npos);
    umount(small.c_str());
}

TEST_F(PosixCli, FolderThatDoesNotExistFailsWithItsReason)
{
    RunResult write = runTrakmon({"write", "--tracks", "1", folder.path + "/no/such/take.wav"});
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_EQ(write.out, "");
    EXPECT_NE(write.err.find("take.001: cannot create: no such file or folder\n"), std::string::npos)
        << write.err;
}

}  // namespace
