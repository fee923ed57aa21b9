// The sweep's runs of the real tests; kept out of the library so that the
// arithmetic of sweep.cpp can be linked alone.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/cli_front_end.h"
#include "cli/cli_output.h"
#include "cli/sweep.h"
#include "engine/disk_read.h"
#include "engine/settings.h"
#include "engine/disk_write.h"
#include "platform/platform.h"

static PassAnalysis runSweepTest(TestKind kind, const std::string& base, bool json,
                                 bool drawProgressBar, TestOutcome& outcome)
{
    CliTestSummary summary;
    summary.kind = kind;
    summary.plan = planTest(TestSettings.trackCount,
                            kind == writeTestKind ? TestSettings.writeRequestSize
                                                  : TestSettings.readRequestSize,
                            TestSettings.transferBufferSize, TestSettings.testDataBudget);
    summary.baseFileName = base;
    beginCliTest(base, drawProgressBar);
    outcome = kind == writeTestKind ? runWriteTest() : runReadTest();
    summary.outcome = outcome;
    summary.record = &currentCliTest();
    if (json) printJsonResults(summary);
    return analyseSummary(summary);
}

bool runSweep(const std::string& base, uint32_t requestSize, bool json, bool drawProgressBar)
{
    SweepDiskNeed need = sweepDiskNeed(trackCountChoices, trackCountChoiceCount);

    // Sizes of the track files already there: truncating them frees room.
    uint64_t existing[maxTrackFiles] = {};
    char name[trackFileNameSize];
    std::snprintf(name, sizeof name, "%.259s", base.c_str());
    uint64_t freeNow = 0;
    for (uint32_t number = 1; number <= maxTrackFiles; ++number) {
        formatTrackFileName(name, number);
        if (number == 1) freeNow = queryFreeBytes(name);
        std::error_code error;
        uintmax_t size = std::filesystem::file_size(name, error);
        if (!error) existing[number - 1] = size;
    }
    // 0 is also what an unreadable volume gives (say, a missing folder): then
    // nothing is known in advance and each write test checks for itself.
    uint32_t shortAt =
        freeNow == 0
            ? 0
            : firstCountShortOfSpace(trackCountChoices, trackCountChoiceCount, freeNow, existing);

    if (json) {
        nlohmann::json object = sweepNeedJson(need);
        object["freeBytesNow"] = freeNow;
        object["firstTrackCountShortOfSpace"] = shortAt == 0 ? nlohmann::json() : nlohmann::json(shortAt);
        std::printf("%s\n", jsonLine(object).c_str());
    } else {
        std::printf("%s", formatSweepNeed(need).c_str());
    }
    std::fflush(stdout);
    if (shortAt != 0) {
        std::fprintf(stderr,
                     "trakmon: not enough disk space for the sweep: %llu bytes free, the test "
                     "with %u track(s) would not fit\n",
                     static_cast<unsigned long long>(freeNow), static_cast<unsigned>(shortAt));
        return false;
    }

    TestSettings.writeRequestSize = requestSize;
    TestSettings.readRequestSize = requestSize;
    std::vector<SweepRow> rows;
    bool all = true;
    for (uint32_t trackCount : trackCountChoices) {
        TestSettings.trackCount = trackCount;
        SweepRow row{};
        row.trackCount = trackCount;
        row.write = runSweepTest(writeTestKind, base, json, drawProgressBar, row.writeOutcome);
        if (row.writeOutcome == testCompleted) {
            row.readRun = true;
            row.read = runSweepTest(readTestKind, base, json, drawProgressBar, row.readOutcome);
        }
        all = all && sweepRowCompleted(row);
        rows.push_back(row);
        // Every larger count creates the same first files again, in the same
        // order, and asks the same volume for its free space: it would fail
        // on the same file, or on the same query.
        const char* stopReason = nullptr;
        if (row.writeOutcome == testCreateFailed)
            stopReason = "the same track file";
        else if (row.writeOutcome == testNotEnoughSpace && platformFreeBytesError() != nullptr)
            stopReason = "the same free-space query";
        if (stopReason != nullptr) {
            std::fprintf(stderr, "trakmon: sweep stopped after %u track(s): the larger track "
                                 "counts would fail on %s\n",
                         static_cast<unsigned>(trackCount), stopReason);
            break;
        }
    }

    if (json)
        std::printf("%s\n", jsonLine(sweepJson(rows, requestSize)).c_str());
    else
        std::printf("\n%s", formatSweepTable(rows, requestSize).c_str());
    std::fflush(stdout);
    return all;
}
