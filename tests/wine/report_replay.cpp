// Prints what trakmon prints after a test (the report text, the precise
// figures and verdicts, the JSON line) for hand-made clock readings: every
// track count and request size, write and read, with irregular request times
// and stalls. Built for Linux and for Windows; the Wine suite compares the
// two outputs byte for byte, so a figure that the i686 arithmetic would
// round differently shows up as a difference.
#include <cstdio>

#include "analysis/audio_analysis.h"
#include "cli/cli_output.h"
#include "engine/plan.h"
#include "engine/settings.h"

namespace {

// A fixed pseudo-random sequence of 24-bit values, the same on every platform.
uint32_t nextValue(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

void replay(TestKind kind, uint32_t trackCount, uint32_t requestSize, uint32_t& state)
{
    CliTestSummary summary{};
    summary.kind = kind;
    summary.outcome = testCompleted;
    summary.plan = planTest(trackCount, requestSize, fixedTransferBufferSize, fixedTestDataBudget);
    summary.baseFileName = "take.wav";

    PassRecord record;
    record.timings.startNs = 1000000000ull + nextValue(state);
    uint64_t now = record.timings.startNs;
    for (uint32_t step = 0; step < summary.plan.stepCount; ++step) {
        // Mostly 20 to 300 microseconds; one request in 500 stalls for up to
        // 40 ms, one in 3000 for up to 1.5 s.
        uint32_t value = nextValue(state);
        now += 20000 + value % 280000;
        uint32_t chance = value % 3000;
        if (chance < 6) now += nextValue(state) % 40000 * 1000ull;
        if (chance == 6) now += nextValue(state) % 1500 * 1000000ull;
        record.timings.requestEndNs.push_back(now);
    }
    record.resultsShown = true;
    record.inputs = {kind, summary.plan.totalTestBytes,
                     static_cast<uint32_t>((now - record.timings.startNs) / 1000000),
                     requestSize, summary.plan.perFileSize, trackCount};
    record.reportText = formatResultsReport(record.inputs).text;
    record.caption = resultsCaption(kind);
    summary.record = &record;

    printTextResults(summary, true);
    printJsonResults(summary);
}

}  // namespace

int main()
{
    uint32_t state = 2024;
    for (TestKind kind : {writeTestKind, readTestKind})
        for (uint32_t trackCount : trackCountChoices)
            for (uint32_t requestSize : requestSizeChoices) replay(kind, trackCount, requestSize, state);
    // The two divisions behind every rate and margin, on far more readings
    // than the passes above: printed in full, as the JSON output prints them.
    // (x87 arithmetic gives a different last bit for about 1 in 4000.)
    for (int i = 0; i < 40000; ++i) {
        uint64_t bytes = nextValue(state) + 1;
        uint64_t ns = (static_cast<uint64_t>(nextValue(state)) << 8) + nextValue(state);
        std::printf("%.17g %.17g\n", bytesPerSecond(bytes, ns), streamMargin(ns, bytes));
    }
    return 0;
}
