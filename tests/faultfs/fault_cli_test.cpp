// trakmon on a disk that fails for real: faultfs under the track files makes
// the Nth write or read fail, come up short or stall, the free-space query
// lie or fail, and create, open, truncate or close fail. Every failed test
// must end with its exact message, exit 1 and no report; the files left on
// disk must hold exactly what was written before the fault.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/run_trakmon.h"
#include "tests/faultfs/fault_mount.h"

namespace {

const std::string writeError = "Disk Write Error... Test Aborted!\n";
const std::string readError = "Disk Read Error... Test Aborted!\n";
const std::string spaceWarning = "WARNING\nNot Enough Disk Space On Drive \nTo Write Test Files!\n";
const std::string notEnoughFiles =
    "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.\n";
const std::string shortWords =
    "the request moved fewer bytes than asked, and the system gave no reason";

// The words that name each injected error as the cause of a failed request.
std::string causeWords(const std::string& errnoName)
{
    const std::map<std::string, std::string> words = {
        {"ENOSPC", "the disk is full"},
        {"EDQUOT", "the disk is full"},
        {"EIO", "the disk reported an I/O error"},
        {"ENXIO", "the disk reported an I/O error"},  // the device went away
        {"ETIMEDOUT", "Connection timed out"},       // no words of trakmon's: the system's own
    };
    return words.at(errnoName);
}

// Bytes per track file of each track count used here.
long long perFileSize(unsigned tracks)
{
    return tracks == 1 ? 99614720 : tracks == 12 ? 7864320 : 1048576;
}

// What track file `number` holds after `completed` round-robin requests.
long long roundRobinBytes(unsigned tracks, unsigned completed, unsigned number, long long request)
{
    return (completed / tracks + (number - 1 < completed % tracks ? 1 : 0)) * request;
}

class FaultCli : public testing::Test {
public:
    void SetUp() override
    {
        folder = makeTempFolder();
        std::string why = mountFaultfs(mount, folder.path);
        if (!why.empty()) GTEST_SKIP() << "faultfs cannot be mounted here: " << why;
    }
    void TearDown() override
    {
        unmountFaultfs(mount);
        removeTempFolder(folder);
    }

    std::string base() const { return mount.mountPoint + "/take.wav"; }
    std::string track(unsigned number) const { return trackFile(mount.mountPoint, number); }
    std::string backed(unsigned number) const { return trackFile(mount.backing, number); }

    // A fresh start: no files, no rules, counters at 0, then these rules.
    void restart(const std::string& rules)
    {
        for (const auto& entry : std::filesystem::directory_iterator(mount.backing))
            std::filesystem::remove_all(entry.path());
        ASSERT_TRUE(controlFaultfs(mount, "reset\n" + rules + "\n")) << rules;
    }
    // Track files as a write test of `tracks` leaves them (sparse: the data do not matter).
    void layTrackFiles(unsigned tracks)
    {
        for (unsigned n = 1; n <= tracks; ++n) {
            std::ofstream(backed(n)).close();
            std::filesystem::resize_file(backed(n), static_cast<uintmax_t>(perFileSize(tracks)));
        }
    }
    uint64_t calls(const char* kind) const { return faultCounter(mount, kind).calls; }
    uint64_t fired(const char* kind) const { return faultCounter(mount, kind).fired; }

    TempFolder folder;
    FaultMount mount;
};

// A failing request on the first, a middle and the last request of a pass.
struct PassFault {
    unsigned tracks;
    unsigned kbytes;
    unsigned failAt;
    const char* writeErrno;
    const char* readErrno;
};
const PassFault passFaults[] = {
    {1, 512, 1, "EIO", "EIO"},         {1, 512, 95, "ENOSPC", "ETIMEDOUT"},
    {1, 512, 190, "EDQUOT", "EIO"},    {12, 128, 1, "ENOSPC", "EIO"},
    {12, 128, 360, "EDQUOT", "ENXIO"}, {12, 128, 720, "EIO", "EIO"},
    {72, 32, 1, "EDQUOT", "ETIMEDOUT"}, {72, 32, 1152, "EIO", "EIO"},
    {72, 32, 2304, "ENOSPC", "EIO"},
};

// Runs `kind` (write or read) with the fault of f and checks how it ends:
// the exact message, then the failed file and the cause, exit 1, no report,
// nothing asked after the failed request, every file closed.
void expectAbortedPass(FaultCli& test, const std::string& kind, const PassFault& f)
{
    bool write = kind == "write";
    std::string rule = kind + " " + std::to_string(f.failAt) + " error " +
                       (write ? f.writeErrno : f.readErrno);
    SCOPED_TRACE(std::to_string(f.tracks) + " tracks, " + rule);
    test.restart(rule);
    if (!write) test.layTrackFiles(f.tracks);
    RunResult result = runTrakmon({kind, "--tracks", std::to_string(f.tracks), "--request",
                                   std::to_string(f.kbytes), test.base()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    const char* errnoName = write ? f.writeErrno : f.readErrno;
    EXPECT_EQ(result.err, (write ? writeError : readError) + "trakmon: " +
                              test.track((f.failAt - 1) % f.tracks + 1) + ": " +
                              causeWords(errnoName) + "\n");
    EXPECT_EQ(test.fired(kind.c_str()), 1u);
    EXPECT_EQ(test.calls(kind.c_str()), f.failAt);
    EXPECT_EQ(test.calls("close"), f.tracks);
    long long left = 0;
    for (unsigned n = 1; n <= f.tracks; ++n) {
        // A write leaves the requests before the failed one; a read changes nothing.
        long long expected = write ? roundRobinBytes(f.tracks, f.failAt - 1, n, f.kbytes * 1024ll)
                                   : perFileSize(f.tracks);
        EXPECT_EQ(fileSize(test.backed(n)), expected) << "take." << n;
        left += fileSize(test.backed(n));
    }
    EXPECT_FALSE(fileExists(test.backed(f.tracks + 1)));
    std::printf("%s at %u tracks x %u KB: %lld bytes left on disk\n", rule.c_str(), f.tracks,
                f.kbytes, left);
}

TEST_F(FaultCli, WriteErrorAbortsAndLeavesTheCompletedRequests)
{
    for (const PassFault& f : passFaults) expectAbortedPass(*this, "write", f);
}

TEST_F(FaultCli, ReadErrorAbortsAndLeavesTheFilesAsTheyWere)
{
    for (const PassFault& f : passFaults) expectAbortedPass(*this, "read", f);
}

TEST_F(FaultCli, ShortTransferAborts)
{
    // A short write did write its bytes: they stay, after the whole requests.
    restart("write 30 short 4096");
    RunResult write = runTrakmon({"write", "--tracks", "12", base()});
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_EQ(write.out, "");
    EXPECT_EQ(write.err, writeError + "trakmon: " + track(6) + ": " + shortWords + "\n");
    EXPECT_EQ(fired("write"), 1u);
    for (unsigned n = 1; n <= 12; ++n)
        EXPECT_EQ(fileSize(backed(n)), roundRobinBytes(12, 29, n, 131072) + (n == 6 ? 4096 : 0))
            << "take." << n;

    restart("read 2304 short 512");
    layTrackFiles(72);
    RunResult read = runTrakmon({"read", "--tracks", "72", "--request", "32", base()});
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_EQ(read.out, "");
    EXPECT_EQ(read.err, readError + "trakmon: " + track(72) + ": " + shortWords + "\n");
    EXPECT_EQ(fired("read"), 1u);
}

TEST_F(FaultCli, RunReadsOnlyAfterACompletedWriteAndJsonCarriesAnyName)
{
    // A name that is not UTF-8 (Latin-1 "café") travels into the JSON replaced.
    const std::string latin1 = mount.mountPoint + "/caf\xe9.wav";
    const std::string replaced = mount.mountPoint + "/caf\xef\xbf\xbd.wav";
    struct Case {
        const char* rule;
        size_t objects;
        const char* readOutcome;  // null: no read test
        std::string err;
    };
    const Case cases[] = {
        {"write 361+ error ENOSPC", 1, nullptr,  // the disk stays full
         writeError + "trakmon: " + mount.mountPoint + "/caf\xe9.001: the disk is full\n"},
        {"read 1 error EIO", 2, "transfer-error",
         readError + "trakmon: " + mount.mountPoint + "/caf\xe9.001: the disk reported an I/O error\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        restart(c.rule);
        RunResult run = runTrakmon({"run", "--tracks", "12", "--json", latin1});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, c.err);
        std::istringstream lines(run.out);
        std::vector<nlohmann::json> objects;
        for (std::string line; std::getline(lines, line);)
            objects.push_back(nlohmann::json::parse(line));
        ASSERT_EQ(objects.size(), c.objects) << run.out;
        EXPECT_EQ(objects[0]["baseFileName"], replaced);
        EXPECT_EQ(objects.back()["failure"]["file"], mount.mountPoint + "/caf\xef\xbf\xbd.001");
        if (c.readOutcome == nullptr) {
            EXPECT_EQ(objects[0]["outcome"], "transfer-error");
            EXPECT_EQ(objects[0]["messages"], nlohmann::json::array({"Disk Write Error... Test Aborted!"}));
            EXPECT_TRUE(objects[0]["totalBytes"].is_null());
            EXPECT_EQ(calls("open"), 0u);  // the read test never started
        } else {
            EXPECT_EQ(objects[0]["outcome"], "completed");
            EXPECT_EQ(objects[0]["totalBytes"], 94371840);  // the figures of the written test
            EXPECT_EQ(objects[1]["outcome"], c.readOutcome);
            EXPECT_TRUE(objects[1]["audio"].is_null());
        }
    }
}

TEST_F(FaultCli, TheJsonNamesTheFailedFileTheCallAndTheCause)
{
    using nlohmann::json;
    struct Case {
        const char* command;
        const char* rule;
        unsigned file;  // the track file that failed
        const char* call;
        const char* cause;
        json systemCode;  // the system's own number; null where it gave none
        std::string text;
    };
    const Case cases[] = {
        {"write", "write 60+ error ENOSPC", 12, "write", "disk-full", 28, "the disk is full"},
        {"write", "write 30 short 4096", 6, "write", "short-transfer", nullptr, shortWords},
        {"read", "read 30 error EIO", 6, "read", "io-error", 5, "the disk reported an I/O error"},
        {"read", "read 3 error ETIMEDOUT", 3, "read", "other", 110, "Connection timed out"},
        {"write", "close 12 error EIO", 12, "close", "io-error", 5, "the disk reported an I/O error"},
        {"read", "open 5 error EACCES", 5, "open", "permission-denied", 13, "permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + ", " + c.rule);
        restart(c.rule);
        if (std::string(c.command) == "read") layTrackFiles(12);
        RunResult result = runTrakmon({c.command, "--tracks", "12", "--json", base()});
        EXPECT_EQ(result.exitCode, 1);
        json object = json::parse(result.out, nullptr, false);
        ASSERT_TRUE(object.is_object()) << result.out;
        json expected = {{"file", track(c.file)}, {"call", c.call}, {"cause", c.cause},
                         {"systemCode", c.systemCode}, {"text", c.text}};
        EXPECT_EQ(object["failure"], expected) << result.err;
    }
}

TEST_F(FaultCli, SweepGoesOnAfterATransferError)
{
    restart("write 3 error EIO");
    RunResult sweep = runTrakmon({"sweep", "--request", "512", base()});
    EXPECT_EQ(sweep.exitCode, 1);
    EXPECT_EQ(sweep.err,
              writeError + "trakmon: " + track(1) + ": the disk reported an I/O error\n");
    EXPECT_TRUE(std::regex_search(sweep.out, std::regex("\n +1 +transfer-error +- +- +- +- +-\n")))
        << sweep.out;
    EXPECT_TRUE(std::regex_search(sweep.out, std::regex("\n +72 +[0-9.]+ +[0-9.]+ ")))
        << sweep.out;
    EXPECT_EQ(fileSize(backed(72)), 1048576);
}

TEST_F(FaultCli, StallTurnsTheVerdictsToCannot)
{
    // 600 ms in the second round of 12 x 32 KB: the stereo 24-bit budget is
    // 32768 / 264600 s = 123.84 ms, the mono 16-bit one 371.52 ms.
    restart("write 13 delay 600\nread 13 delay 600");
    RunResult run = runTrakmon(
        {"run", "--tracks", "12", "--write-request", "32", "--read-request", "32", base()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(fired("write"), 1u);
    EXPECT_EQ(fired("read"), 1u);
    std::regex slowest("slowest ([0-9.]+) ms");
    int rounds = 0;
    for (std::sregex_iterator it(run.out.begin(), run.out.end(), slowest), end; it != end; ++it) {
        EXPECT_GE(std::stod((*it)[1]), 600.0);
        ++rounds;
    }
    EXPECT_EQ(rounds, 2);
    for (const char* format : {"Mono 16 Bit", "Stereo 24 Bit"}) {
        std::string verdict = std::string("cannot stream 12 tracks of ") + format + "\n";
        size_t first = run.out.find(verdict);
        EXPECT_NE(first, std::string::npos) << run.out;
        EXPECT_NE(run.out.find(verdict, first + 1), std::string::npos) << run.out;
    }
    EXPECT_EQ(run.out.find("can stream"), std::string::npos) << run.out;
}

TEST_F(FaultCli, FreeSpaceLowAtTheLimitOrUnknown)
{
    const std::string unknown =
        "trakmon: cannot query the free space of " + mount.mountPoint + ": Input/output error\n";
    struct Case {
        const char* rule;
        int exitCode;
        std::string err;
        long long fileSize;
    };
    const Case cases[] = {
        {"statfs free 94883840", 1, spaceWarning, 0},  // 94,371,840 + 512,000: not above
        {"statfs free 94883841", 0, "", 7864320},
        {"statfs error EIO", 1, spaceWarning + unknown, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        restart(c.rule);
        RunResult write = runTrakmon({"write", "--tracks", "12", base()});
        EXPECT_EQ(write.exitCode, c.exitCode);
        EXPECT_EQ(write.err, c.err);
        EXPECT_EQ(fired("statfs"), 1u);
        EXPECT_EQ(write.out.find("Disk Write Test Results") != std::string::npos, c.exitCode == 0);
        for (unsigned n = 1; n <= 12; ++n) EXPECT_EQ(fileSize(backed(n)), c.fileSize);
    }

    // The sweep says it once and stops.
    restart("statfs error EIO");
    RunResult sweep = runTrakmon({"sweep", base()});
    EXPECT_EQ(sweep.exitCode, 1);
    EXPECT_EQ(sweep.err, spaceWarning + unknown +
                             "trakmon: sweep stopped after 1 track(s): the larger track counts "
                             "would fail on the same free-space query\n");
    EXPECT_FALSE(fileExists(backed(2)));

    restart("statfs free 1000000");
    sweep = runTrakmon({"sweep", base()});
    EXPECT_EQ(sweep.exitCode, 1);
    EXPECT_EQ(sweep.err, "trakmon: not enough disk space for the sweep: 1000000 bytes free, the "
                         "test with 1 track(s) would not fit\n");
    EXPECT_FALSE(fileExists(backed(1)));
}

// A full disk (the volume answers: 0 bytes free) is said before anything
// is written, by every command, never taken for a volume that cannot be asked.
TEST_F(FaultCli, AFullDiskIsNamedBeforeAnythingStarts)
{
    struct Case {
        std::vector<std::string> args;
        std::string says;  // on stderr, or stdout for the searches' own sentence
    };
    const Case cases[] = {
        {{"sweep"}, "not enough disk space for the sweep: 0 bytes free"},
        {{"session", "--tracks", "2", "--seconds", "20"}, spaceWarning},
        {{"capacity", "--max-tracks", "8"}, "Not even one track fits: too little free disk space."},
        {{"table", "--formats", "48000/24", "--modes", "record"},
         "not even one track fits: too little free disk space"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        restart("statfs free 0");
        std::vector<std::string> args = c.args;
        args.push_back(base());
        RunResult result = runTrakmon(args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE((result.err + result.out).find(c.says), std::string::npos) << result.err << result.out;
        EXPECT_EQ(calls("write"), 0u) << result.err << result.out;
    }
}

TEST_F(FaultCli, FailingCreateOpenTruncateAndClose)
{
    struct Case {
        const char* command;
        bool laid;  // track files of 12 tracks already there
        const char* rule;
        int exitCode;
        std::string err;
        const char* caption;  // the report expected on stdout; null: none
        std::vector<long long> sizes;  // of take.001 .. take.013, -1: missing
    };
    std::vector<long long> laid(12, 7864320);
    laid.push_back(-1);
    // Created before the failure, and left empty; none after it.
    std::vector<long long> twoEmpty(13, -1);
    twoEmpty[0] = twoEmpty[1] = 0;
    const Case cases[] = {
        {"write", false, "create 3 error EACCES", 1,
         "trakmon: " + track(3) + ": cannot create: permission denied\n", nullptr, twoEmpty},
        {"write", false, "truncate 2 error EIO", 1,
         "trakmon: " + track(2) + ": cannot create: the disk reported an I/O error\n", nullptr,
         twoEmpty},
        {"read", true, "open 5 error EACCES", 1,
         "trakmon: " + track(5) + ": cannot open: permission denied\n" + notEnoughFiles, nullptr,
         laid},
        // The data may be lost: a failed close after writing fails the test,
        // and run reads nothing.
        {"run", false, "close 12 error EIO", 1,
         writeError + "trakmon: " + track(12) +
             ": cannot close: the disk reported an I/O error; its data may be lost\n",
         nullptr, laid},
        {"read", true, "close error EIO", 0, "", "Disk Read Test Results\n", laid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + ", " + c.rule);
        restart(c.rule);
        if (c.laid) layTrackFiles(12);
        RunResult result = runTrakmon({c.command, "--tracks", "12", base()});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.err, c.err);
        std::string kind(c.rule, std::strchr(c.rule, ' '));
        EXPECT_GE(fired(kind.c_str()), 1u);
        if (c.caption == nullptr)
            EXPECT_EQ(result.out, "");
        else
            EXPECT_EQ(result.out.rfind(c.caption, 0), 0u) << result.out;
        for (unsigned n = 1; n <= 13; ++n)
            EXPECT_EQ(fileSize(backed(n)), c.sizes[n - 1]) << "take." << n;
    }
}

TEST_F(FaultCli, SessionDropsAudioWhenAStallOutlastsTheBuffer)
{
    // 12 tracks of 48 kHz 24-bit mono, 2 s buffers, 32 KB requests (0.228 s
    // of audio). Write 13, the first of the second round, starts near 0.455 s
    // and stalls the whole disk for 3 s. The other tracks hold about 0.23 s
    // of audio then and run full near 2.23 s; the stalled track's buffer,
    // emptied by its request, at 2.46 s. Every track loses one stretch of
    // audio. The same session without the stall loses nothing (6 s: three
    // buffers, the shortest session that can tell).
    for (bool stall : {true, false}) {
        SCOPED_TRACE(stall ? "a 3 s stall" : "no stall");
        restart(stall ? "write 13 delay 3000" : "");
        RunResult run = runTrakmon({"session", "--json", "--tracks", "12", "--buffer", "2",
                                    "--request", "32", "--seconds", "6", base()});
        nlohmann::json session = nlohmann::json::parse(run.out);
        nlohmann::json& recording = session["recording"];
        if (stall) {
            EXPECT_EQ(run.exitCode, 1) << run.err;
            EXPECT_EQ(recording["dropouts"], 12) << run.out;
            EXPECT_GT(recording["firstSeconds"].get<double>(), 2.1) << run.out;
            EXPECT_LT(recording["firstSeconds"].get<double>(), 2.6) << run.out;
            EXPECT_EQ(fired("write"), 1u);
        } else {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(session["dropouts"], 0) << run.out;
        }
    }
}

TEST_F(FaultCli, SessionEndsWithTheWriteErrorOfARequestOrAClose)
{
    struct Case {
        const char* rule;
        const char* reason;
        const char* call;
        const char* cause;
        const char* lastLogLine;  // starts so
    };
    const Case cases[] = {
        {"write 3 error EIO", "take.001: the disk reported an I/O error", "write", "io-error",
         "3,1,write,"},
        {"write 3+ error ENOSPC", "take.001: the disk is full", "write", "disk-full", "3,1,write,"},
        {"close error EIO", "cannot close: the disk reported an I/O error; its data may be lost",
         "close", "io-error", ""},
    };
    std::string log = folder.path + "/requests.csv";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        restart(c.rule);
        RunResult session = runTrakmon(
            {"session", "--tracks", "2", "--seconds", "2", "--request", "32", "--log", log, base()});
        EXPECT_EQ(session.exitCode, 1);
        EXPECT_EQ(session.err.substr(0, writeError.size() + 9), writeError + "trakmon: ")
            << session.err;
        EXPECT_NE(session.err.find(c.reason), std::string::npos) << session.err;
        EXPECT_NE(session.out.find("session aborted"), std::string::npos) << session.out;
        EXPECT_NE(session.out.find("Dropouts: none before the request that failed"), std::string::npos)
            << session.out;
        EXPECT_EQ(session.out.find("records 2 tracks"), std::string::npos) << session.out;
        // The log holds every request, the failed one last.
        std::ifstream lines(log);
        std::string line, last;
        size_t number = 0;
        for (std::getline(lines, line); std::getline(lines, line); last = line)
            EXPECT_EQ(line.substr(0, line.find(',')), std::to_string(++number)) << line;
        EXPECT_GT(number, 0u);
        EXPECT_EQ(last.rfind(c.lastLogLine, 0), 0u) << last;
        // The JSON names the call and the cause.
        restart(c.rule);
        RunResult json = runTrakmon(
            {"session", "--json", "--tracks", "2", "--seconds", "2", "--request", "32", base()});
        nlohmann::json failure = nlohmann::json::parse(json.out)["failure"];
        EXPECT_EQ(failure["call"], c.call) << json.out;
        EXPECT_EQ(failure["cause"], c.cause) << json.out;
    }

    // A search and a table say it too, in words and in their JSON.
    const std::vector<std::string> searches[] = {
        {"capacity", "--seconds", "3", "--buffer", "1", "--request", "32", "--max-tracks", "8"},
        {"table", "--formats", "48000/24", "--modes", "record", "--buffer", "1", "--request", "32",
         "--max-tracks", "8"},
    };
    for (std::vector<std::string> args : searches) {
        SCOPED_TRACE(args.front());
        restart("write 60+ error ENOSPC");
        args.push_back("--json");
        args.push_back(base());
        RunResult search = runTrakmon(args);
        EXPECT_EQ(search.exitCode, 1);
        EXPECT_NE(search.err.find(": the disk is full"), std::string::npos) << search.err;
        // Its last line is the result, after the plan's.
        size_t lastLine = search.out.find_last_of('\n', search.out.size() - 2);
        nlohmann::json failure = nlohmann::json::parse(search.out.substr(lastLine + 1))["failure"];
        EXPECT_EQ(failure["cause"], "disk-full") << search.out;
        EXPECT_EQ(failure["systemCode"], 28) << search.out;
    }

    // Its JSON carries a name that is not UTF-8, too.
    restart("");
    RunResult json = runTrakmon({"session", "--json", "--tracks", "2", "--seconds", "1",
                                 mount.mountPoint + "/caf\xe9.wav"});
    EXPECT_EQ(nlohmann::json::parse(json.out)["baseFileName"],
              mount.mountPoint + "/caf\xef\xbf\xbd.wav")
        << json.err;
}

// Interrupts where a search waits on a slow disk: writing the playback files
// (every write 20 ms late) hears Ctrl-C before its next request; a second
// Ctrl-C, while the orderly end of the first waits on a removal 2 s late,
// ends the process as soon as that returns, and still removes the folder.
TEST_F(FaultCli, CapacityHearsCtrlCWhileItWritesAndASecondOneAtOnce)
{
    std::vector<std::string> search = {"capacity", "--seconds", "3", "--buffer", "1", "--request",
                                       "32", "--play-ratio", "1:3", "--max-tracks", "64", base()};
    restart("write delay 20");
    RunResult writing = runTrakmon(search, {{1500, SIGINT}});
    EXPECT_EQ(writing.exitCode, 1) << writing.err;
    EXPECT_LT(writing.msAfterLastSignal, 1000) << writing.err;
    EXPECT_NE(writing.err.find("capacity search interrupted"), std::string::npos) << writing.err;
    EXPECT_TRUE(std::filesystem::is_empty(mount.backing));

    restart("unlink 1 delay 2000");
    search[2] = "30";  // trials of 30 s: the first Ctrl-C comes in the first of them
    RunResult twice = runTrakmon(search, {{5000, SIGINT}, {5500, SIGINT}});
    EXPECT_EQ(twice.exitCode, 1) << twice.err;
    EXPECT_EQ(twice.err.find("capacity search interrupted"), std::string::npos) << twice.err;
    EXPECT_LT(twice.msAfterLastSignal, 2500) << twice.err;
    EXPECT_EQ(faultCounter(mount, "unlink").fired, 1u);
    EXPECT_TRUE(std::filesystem::is_empty(mount.backing));
}

}  // namespace
