#include "runs/pass_runs.h"

#include <cstdio>

#include "engine/disk_read.h"
#include "engine/disk_write.h"
#include "engine/settings.h"
#include "platform/platform.h"

bool openTransferBuffers()
{
    readBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    writeBuffer = platformAllocTransferBuffer(TestSettings.transferBufferSize);
    return readBuffer != nullptr && writeBuffer != nullptr;
}

void closeTransferBuffers()
{
    if (readBuffer != nullptr) platformFreeTransferBuffer(readBuffer);
    if (writeBuffer != nullptr) platformFreeTransferBuffer(writeBuffer);
    readBuffer = nullptr;
    writeBuffer = nullptr;
}

PassSeries newPassSeries(TestKind kind, uint32_t passCount, const VerdictFormats& formats)
{
    PassSeries series;
    series.kind = kind;
    series.plan = TestPlan{};  // the engine hands it out with the first pass
    series.formats = formats;
    series.passCount = passCount;
    return series;
}

PassAnalysis analysePassRecord(const PassSeries& series, const PassRecord& record)
{
    if (!record.resultsShown) return PassAnalysis{};
    return analysePass(record.timings.startNs, record.timings.requestEndNs, series.plan.trackCount,
                       series.plan.requestSize, series.formats);
}

TestOutcome runSeriesPass(PassSeries& series, const PassFrontEnd& frontEnd, uint32_t passIndex)
{
    PassRecord& record = *frontEnd.record;
    record = PassRecord();
    record.outcome =
        series.kind == writeTestKind ? runWriteTest(frontEnd.engine) : runReadTest(frontEnd.engine);
    series.plan = record.plan;
    if (frontEnd.passEnded != nullptr)
        frontEnd.passEnded(frontEnd.context, series, record, passIndex);
    if (record.timings.requestEndNs.empty()) return record.outcome;
    // A pass that ran keeps its requests, also one that a short transfer ended.
    series.plotted.push_back({passIndex, record.timings});
    if (record.outcome == testCompleted)
        series.figures.push_back({analysePassRecord(series, record),
                                  transferRate(record.inputs.totalBytes, record.inputs.elapsedMs)});
    return record.outcome;
}

RepeatSummary endSeries(const PassSeries& series, const PassFrontEnd& frontEnd)
{
    RepeatSummary summary = summarisePasses(series.kind, series.figures);
    if (frontEnd.seriesEnded != nullptr) frontEnd.seriesEnded(frontEnd.context, series, summary);
    return summary;
}

bool runTestPasses(PassSeries* writes, PassSeries* reads, const PassFrontEnd& frontEnd)
{
    uint32_t passCount = (writes != nullptr ? writes : reads)->passCount;
    bool completed = true;
    for (uint32_t pass = 1; pass <= passCount && completed; ++pass) {
        if (writes != nullptr && runSeriesPass(*writes, frontEnd, pass) != testCompleted)
            completed = false;
        if (reads != nullptr && completed && runSeriesPass(*reads, frontEnd, pass) != testCompleted)
            completed = false;
    }
    if (writes != nullptr) endSeries(*writes, frontEnd);
    if (reads != nullptr) endSeries(*reads, frontEnd);
    return completed;
}

SvgChart seriesChart(const PassSeries& series, const std::string& base)
{
    const TestPlan& plan = series.plan;
    char title[400];
    std::snprintf(title, sizeof title, "%s test, %u track(s) x %u KB requests, %s: round times",
                  series.kind == writeTestKind ? "Write" : "Read",
                  static_cast<unsigned>(plan.trackCount),
                  static_cast<unsigned>(plan.requestSize >> 10), base.c_str());
    // The budgets depend only on the request size and the formats.
    PassAnalysis budgets = analysePass(0, std::vector<uint64_t>(plan.trackCount, 1),
                                       plan.trackCount, plan.requestSize, series.formats);
    return roundChart(title, series.plotted, plan.trackCount, budgets);
}

SweepSpace sweepSpace(const std::string& base)
{
    // Sizes of the track files already there: truncating them frees room.
    uint64_t existing[maxTrackFiles] = {};
    char name[trackFileNameSize];
    SweepSpace space;
    FreeSpace free{};
    for (uint32_t number = 1; number <= maxTrackFiles; ++number) {
        formatTrackName(name, sizeof name, base.c_str(), number, extensionInFileName);
        if (number == 1) free = queryFreeSpace(name);
        uint64_t size = 0;
        if (platformFileSize(name, size)) existing[number - 1] = size;
    }
    space.freeNow = free.bytes;
    // A volume that cannot be asked (say, a missing folder): nothing is known
    // in advance and each write test checks for itself. A full one is known.
    space.shortAt = !free.known ? 0
                                : firstCountShortOfSpace(trackCountChoices, trackCountChoiceCount,
                                                         space.freeNow, existing);
    return space;
}

// The passes of one test of the sweep; their analysis with the median
// pass's rate and every format judged on the slowest round of all passes.
static PassAnalysis runSweepTest(TestKind kind, uint32_t passCount, const VerdictFormats& formats,
                                 const PassFrontEnd& frontEnd, TestOutcome& outcome)
{
    PassSeries series = newPassSeries(kind, passCount, formats);
    outcome = testCompleted;
    for (uint32_t pass = 1; pass <= passCount && outcome == testCompleted; ++pass)
        outcome = runSeriesPass(series, frontEnd, pass);
    RepeatSummary summary = endSeries(series, frontEnd);
    return outcome == testCompleted ? summary.verdicts : PassAnalysis{};
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

SweepResult runSweep(uint32_t requestSize, uint32_t passCount, const VerdictFormats& formats,
                     const PassFrontEnd& frontEnd)
{
    TestSettings.writeRequestSize = requestSize;
    TestSettings.readRequestSize = requestSize;
    SweepResult result{{}, true, nullptr};
    for (uint32_t trackCount : trackCountChoices) {
        TestSettings.trackCount = trackCount;
        SweepRow row{};
        row.trackCount = trackCount;
        row.write = runSweepTest(writeTestKind, passCount, formats, frontEnd, row.writeOutcome);
        if (row.writeOutcome == testCompleted) {
            row.readRun = true;
            row.read = runSweepTest(readTestKind, passCount, formats, frontEnd, row.readOutcome);
        }
        result.allCompleted = result.allCompleted && sweepRowCompleted(row);
        result.rows.push_back(row);
        result.stopReason = sweepStopReason(row);
        if (result.stopReason != nullptr) break;
    }
    return result;
}
