// The sweep's runs of the real tests; the arithmetic of analysis/sweep.cpp
// is linked without them.
#include "cli/sweep_runner.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "analysis/sweep.h"
#include "cli/pass_runner.h"
#include "engine/settings.h"
#include "platform/platform.h"

// The passes of one test of the sweep; their analysis with the median
// pass's rate and every format judged on the slowest round of all passes.
static PassAnalysis runSweepTest(TestKind kind, const std::string& base, TestOutcome& outcome)
{
    PassSeries series = newPassSeries(kind);
    outcome = testCompleted;
    for (uint32_t pass = 1; pass <= passOutputs.repeat && outcome == testCompleted; ++pass)
        outcome = runPass(series, base, pass, false);
    RepeatSummary summary = finishSeries(series, base, passOutputs.json);
    return outcome == testCompleted ? summary.verdicts : PassAnalysis{};
}

// The free space on base's volume now, and the first track count that
// would find too little of it.
struct SweepSpace {
    uint64_t freeNow = 0;
    uint32_t shortAt = 0;  // 0: every count fits, or nothing is known in advance
};

static SweepSpace sweepSpace(const std::string& base)
{
    // Sizes of the track files already there: truncating them frees room.
    uint64_t existing[maxTrackFiles] = {};
    char name[trackFileNameSize];
    SweepSpace space;
    for (uint32_t number = 1; number <= maxTrackFiles; ++number) {
        formatTrackName(name, sizeof name, base.c_str(), number, extensionInFileName);
        if (number == 1) space.freeNow = queryFreeBytes(name);
        std::error_code error;
        uintmax_t size = std::filesystem::file_size(name, error);
        if (!error) existing[number - 1] = size;
    }
    // 0 is also what an unreadable volume gives (say, a missing folder): then
    // nothing is known in advance and each write test checks for itself.
    space.shortAt = space.freeNow == 0 ? 0
                                       : firstCountShortOfSpace(trackCountChoices,
                                                                trackCountChoiceCount,
                                                                space.freeNow, existing);
    return space;
}

// The disk space the sweep needs, as text or a JSON line; false (with a
// message) when a track count would not fit.
static bool showSweepNeed(const SweepSpace& space, bool json)
{
    SweepDiskNeed need = sweepDiskNeed(trackCountChoices, trackCountChoiceCount);
    if (json) {
        nlohmann::json object = sweepNeedJson(need);
        object["freeBytesNow"] = space.freeNow;
        object["firstTrackCountShortOfSpace"] =
            space.shortAt == 0 ? nlohmann::json() : nlohmann::json(space.shortAt);
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s", formatSweepNeed(need).c_str());
    }
    std::fflush(stdout);
    if (space.shortAt == 0) return true;
    std::fprintf(stderr,
                 "trakmon: not enough disk space for the sweep: %llu bytes free, the test "
                 "with %u track(s) would not fit\n",
                 static_cast<unsigned long long>(space.freeNow),
                 static_cast<unsigned>(space.shortAt));
    return false;
}

// Every larger count creates the same first files again, in the same order,
// and asks the same volume for its free space: after these failures it would
// fail on the same file, or on the same query. Null when the sweep goes on.
static const char* sweepStopReason(const SweepRow& row)
{
    if (row.writeOutcome == testCreateFailed) return "the same track file";
    if (row.writeOutcome == testNotEnoughSpace && platformFreeBytesError() != nullptr)
        return "the same free-space query";
    return nullptr;
}

// The write and the read test of every track count in turn, into rows;
// true if every test completed.
static bool runSweepCounts(const std::string& base, std::vector<SweepRow>& rows)
{
    bool all = true;
    for (uint32_t trackCount : trackCountChoices) {
        TestSettings.trackCount = trackCount;
        SweepRow row{};
        row.trackCount = trackCount;
        row.write = runSweepTest(writeTestKind, base, row.writeOutcome);
        if (row.writeOutcome == testCompleted) {
            row.readRun = true;
            row.read = runSweepTest(readTestKind, base, row.readOutcome);
        }
        all = all && sweepRowCompleted(row);
        rows.push_back(row);
        const char* stopReason = sweepStopReason(row);
        if (stopReason != nullptr) {
            std::fprintf(stderr, "trakmon: sweep stopped after %u track(s): the larger track "
                                 "counts would fail on %s\n",
                         static_cast<unsigned>(trackCount), stopReason);
            break;
        }
    }
    return all;
}

// The table of the rows, as text or a JSON line.
static void showSweepTable(const std::vector<SweepRow>& rows, uint32_t requestSize)
{
    const VerdictFormats& formats = passOutputs.formats;
    const uint32_t passes = passOutputs.repeat;
    if (passOutputs.json) {
        nlohmann::json table = sweepJson(rows, requestSize, formats);
        table["passesPerTest"] = passes;
        std::printf("%s\n", jsonLine(table).c_str());
    } else {
        std::printf("\n%s", formatSweepTable(rows, requestSize, formats).c_str());
        if (passes > 1)
            std::printf("Rates: the median of %u passes of each test; verdicts: the slowest "
                        "round of all of them.\n",
                        static_cast<unsigned>(passes));
    }
    std::fflush(stdout);
}

bool runSweep(const std::string& base, uint32_t requestSize)
{
    if (!showSweepNeed(sweepSpace(base), passOutputs.json)) return false;
    TestSettings.writeRequestSize = requestSize;
    TestSettings.readRequestSize = requestSize;
    std::vector<SweepRow> rows;
    bool all = runSweepCounts(base, rows);
    showSweepTable(rows, requestSize);
    return all;
}
