// The timed round-robin pass shared by the write and the read test.
#pragma once
#include <cstdint>
#include <cstdio>

#include "engine/front_end.h"
#include "engine/outcome.h"
#include "engine/plan.h"
#include "platform/platform.h"

struct PassResult {
    uint32_t sum;        // bytes moved by the completed (or aborted) pass
    uint32_t elapsedMs;  // end reading minus start reading
    bool aborted;        // a request moved fewer bytes than asked
};

// One request; passOffset is the number of bytes the pass has moved before it.
// A write request stamps its blocks before it writes them (write_stamp.h):
// part of the request, inside the timed span, as a recorder fills its buffer.
typedef uint32_t (*TrackTransfer)(TrackHandle file, void* buffer, uint32_t size,
                                  uint32_t passOffset);

// Cycles of one request per file, in slot order, until the plan's bytes have
// moved. A short request shows errorText at once and ends the pass. A pass
// during which the millisecond counter wrapped is run again from the start of
// every file, so the time reported covers one unbroken pass.
template <TrackTransfer transfer>
PassResult runTimedPass(TrackFileSet& set, const TestPlan& plan, void* buffer,
                        const char* errorText)
{
    const uint32_t trackCount = plan.trackCount;
    const uint32_t requestSize = plan.requestSize;
    const uint32_t totalTestBytes = plan.totalTestBytes;
    TrackHandle* const slots = set.slots;
    uint32_t sum;
    uint32_t start;
    uint32_t end;
    bool aborted;

    for (;;) {
        sum = 0;
        aborted = false;
        platformTimeBeginPeriod(1);
        start = platformTimeGetTime();
        do {
            for (uint32_t slot = 0; slot < trackCount; ++slot) {
                uint32_t count = transfer(slots[slot], buffer, requestSize, sum);
                if (count != requestSize) {
                    showMessageBox(errorText, nullptr, messageIconError);
                    aborted = true;
                    break;
                }
                sum += count;
                advanceProgress();
            }
        } while (sum < totalTestBytes && !aborted);
        end = platformTimeGetTime();
        platformTimeEndPeriod(1);

        if (aborted || start <= end) break;
        // The counter wrapped: start the pass over.
        for (uint32_t slot = 0; slot < trackCount; ++slot) platformRewindTrack(slots[slot]);
        restartProgress();
    }

    PassResult result;
    result.sum = sum;
    result.elapsedMs = end - start;
    result.aborted = aborted;
    return result;
}

// Everything after the track files are open: the progress window with its
// caption ("Writing: " / "Reading: " ...), the timed pass, closing, and the
// report of a pass that completed.
template <TrackTransfer transfer>
TestOutcome runPassAndReport(TestKind kind, TrackFileSet& set, const TestPlan& plan,
                             void* buffer)
{
    const bool write = kind == writeTestKind;
    openProgress(plan.stepCount);
    char caption[80];
    std::snprintf(caption, sizeof caption, "%s: Test Files For %u Track(s)",
                  write ? "Writing" : "Reading", static_cast<unsigned>(plan.trackCount));
    showProgressCaption(caption);

    PassResult pass = runTimedPass<transfer>(
        set, plan, buffer,
        write ? "Disk Write Error... Test Aborted!" : "Disk Read Error... Test Aborted!");

    closeTrackFiles(set, plan.trackCount);
    closeProgress();
    repaintMainWindow();
    if (pass.aborted) return testTransferError;

    ResultsInputs results = {kind, pass.sum, pass.elapsedMs, plan.requestSize, plan.perFileSize,
                             plan.trackCount};
    showResultsReport(results);
    return testCompleted;
}
