// The timed round-robin pass shared by the write and the read test.
#pragma once
#include <cstdint>
#include <cstdio>

#include "engine/front_end.h"
#include "engine/outcome.h"
#include "engine/plan.h"
#include "engine/track_name.h"
#include "platform/platform.h"

struct PassResult {
    uint32_t sum;        // bytes moved by the completed (or aborted) pass
    uint32_t elapsedMs;  // end reading minus start reading
    bool aborted;        // a request moved fewer bytes than asked
    uint32_t failedSlot;  // an aborted pass's: the slot of the short request
    IoStatus why;         // and why it came up short
};

// One request; passOffset is the number of bytes the pass has moved before it.
// A write request stamps its blocks before it writes them (write_stamp.h):
// part of the request, inside the timed span, as a recorder fills its buffer.
// why is written only when the request moves fewer bytes than asked.
typedef uint32_t (*TrackTransfer)(TrackHandle file, void* buffer, uint32_t size,
                                  uint32_t passOffset, IoStatus* why);

// Cycles of one request per file, in slot order, until the plan's bytes have
// moved. A short request ends the pass, and errorText is shown at once, in
// the failed attempt: after its cycle, before its end reading and the end of
// its timer period, the files and the progress window still open. A pass
// during which the millisecond counter wrapped is run again from the start of
// every file, so the time reported covers one unbroken pass. readings gets
// the monotonic clock at the start and at the end of every completed request
// of that pass (passRequests(plan) of them at most). An aborted pass's
// result names the short request's slot and why; nothing else is done per
// request for it but handing the transfer where to write why.
template <TrackTransfer transfer>
PassResult runTimedPass(TrackFileSet& set, const TestPlan& plan, void* buffer,
                        const FrontEnd& frontEnd, const char* errorText, PassReadings& readings)
{
    const uint32_t trackCount = plan.trackCount;
    const uint32_t requestSize = plan.requestSize;
    const uint32_t totalTestBytes = plan.totalTestBytes;
    TrackHandle* const slots = set.slots;
    uint64_t* const requestEndNs = readings.requestEndNs;
    void (*const advanceProgress)(void*) = frontEnd.advanceProgress;
    void* const context = frontEnd.context;
    uint32_t sum;
    uint32_t requests;
    uint32_t start;
    uint32_t end;
    bool aborted;
    uint32_t failedSlot = 0;
    // A transfer that comes up short without saying why is a short transfer.
    IoStatus why = {ioShortTransfer, 0};

    for (;;) {
        sum = 0;
        requests = 0;
        aborted = false;
        platformTimeBeginPeriod(1);
        start = platformTimeGetTime();
        readings.startNs = platformMonotonicNs();
        do {
            for (uint32_t slot = 0; slot < trackCount; ++slot) {
                uint32_t count = transfer(slots[slot], buffer, requestSize, sum, &why);
                if (count != requestSize) {
                    aborted = true;
                    failedSlot = slot;
                    break;
                }
                sum += count;
                requestEndNs[requests++] = platformMonotonicNs();
                advanceProgress(context);
            }
        } while (sum < totalTestBytes && !aborted);
        if (aborted)
            frontEnd.showMessageBox(context, messageTransferError, errorText, nullptr,
                                    messageIconError);
        end = platformTimeGetTime();
        platformTimeEndPeriod(1);

        if (aborted || start <= end) break;
        // The counter wrapped: start the pass over.
        for (uint32_t slot = 0; slot < trackCount; ++slot) platformRewindTrack(slots[slot]);
        frontEnd.restartProgress(context);
    }

    readings.requestCount = requests;
    PassResult result;
    result.sum = sum;
    result.elapsedMs = end - start;
    result.aborted = aborted;
    result.failedSlot = failedSlot;
    result.why = why;
    return result;
}

// Tells the front end which track file failed, and why.
inline void tellTransferFailure(const FrontEnd& frontEnd, TrackFileCall call, const char* base,
                                uint32_t slot, IoStatus why)
{
    char name[trackFileNameSize];
    formatTrackName(name, sizeof name, base, slot + 1, frontEnd.trackNameRule);
    frontEnd.noteTransferFailure(frontEnd.context, call, name, why);
}

// Everything after the track files of base are open: the progress window
// with its caption ("Writing: " / "Reading: " ...), the timed pass (which
// shows a short request's message itself), closing, and the report of a
// pass that completed. A written file that fails to close may have lost its
// data (a write-back error): that write test is aborted too, its message
// shown once the files and the progress window are closed. The front end
// learns the failed file and why after the message.
template <TrackTransfer transfer>
TestOutcome runPassAndReport(const FrontEnd& frontEnd, TestKind kind, const char* base,
                             TrackFileSet& set, const TestPlan& plan, void* buffer)
{
    static PassReadings readings;
    const bool write = kind == writeTestKind;
    frontEnd.openProgress(frontEnd.context, plan.stepCount);
    char caption[80];
    std::snprintf(caption, sizeof caption, "%s: Test Files For %u Track(s)",
                  write ? "Writing" : "Reading", static_cast<unsigned>(plan.trackCount));
    frontEnd.showProgressCaption(frontEnd.context, caption);

    const char* errorText =
        write ? "Disk Write Error... Test Aborted!" : "Disk Read Error... Test Aborted!";
    PassResult pass = runTimedPass<transfer>(set, plan, buffer, frontEnd, errorText, readings);
    if (pass.aborted)
        tellTransferFailure(frontEnd, write ? writeCall : readCall, base, pass.failedSlot, pass.why);
    frontEnd.notePassReadings(frontEnd.context, readings);

    CloseFailure closeFailure = {0, {ioOtherError, 0}};
    bool closed = closeTrackFiles(set, plan.trackCount, &closeFailure);
    frontEnd.closeProgress(frontEnd.context);
    frontEnd.repaintMainWindow(frontEnd.context);
    if (pass.aborted) return testTransferError;
    if (write && !closed) {
        frontEnd.showMessageBox(frontEnd.context, messageTransferError, errorText, nullptr,
                                messageIconError);
        tellTransferFailure(frontEnd, closeCall, base, closeFailure.slot, closeFailure.why);
        return testTransferError;
    }

    ResultsInputs results = {kind, pass.sum, pass.elapsedMs, plan.requestSize, plan.perFileSize,
                             plan.trackCount};
    showResultsReport(frontEnd, results);
    return testCompleted;
}
