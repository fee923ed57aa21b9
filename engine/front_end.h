// What the engine asks of the program around it: the file choice, the progress
// display, message boxes, the repaint of the main window and the readings of
// a timed pass. The Windows program and the command line each fill in one FrontEnd and hand it to the
// tests; the engine's tests hand in a recorder.
#pragma once
#include <cstdint>

#include "engine/plan.h"
#include "engine/results_report.h"
#include "engine/settings.h"
#include "engine/track_name.h"

const uint32_t pathBufferSize = 260;

// Message box flags the tests use.
const uint32_t messageIconError = 0x10;
const uint32_t messageIconInformation = 0x40;

// Which of the engine's messages a box shows, so that a front end can add to
// one without reading its text or caption.
enum EngineMessage {
    messageNotEnoughSpace,    // the free-space warning
    messageMissingTrackFile,  // a track file of the read test cannot be opened
    messageFileTooSmall,      // a track file is shorter than the plan
    messageTransferError,     // a short request, or a written file that failed to close
};

// The call on a track file that failed, as the front end is told it.
enum TrackFileCall { createCall, openCall, writeCall, readCall, closeCall };

// The requests of one timed pass, of the pass as a whole and each on its own:
// readings of platformMonotonicNs taken by the engine inside the timed loop,
// at the start of the pass and at the end of every completed request. Room
// for the requests of the largest plan: the fixed budget in requests of the
// smallest size, and a last round begun past it.
const uint32_t maxPassRequests = fixedTestDataBudget / smallestRequestSize + maxTrackFiles;

// The most requests a pass completes over every plan the engine accepts
// (areChoiceSettings): the loop indexes the readings without a bound.
constexpr uint32_t mostChoicePassRequests()
{
    uint32_t most = 0;
    for (uint32_t trackCount : trackCountChoices) {
        for (uint32_t requestSize : requestSizeChoices) {
            uint32_t requests = passRequests(
                planTest(trackCount, requestSize, fixedTransferBufferSize, fixedTestDataBudget));
            if (requests > most) most = requests;
        }
    }
    return most;
}
static_assert(mostChoicePassRequests() <= maxPassRequests,
              "a pass of the choices would outgrow its readings");

struct PassReadings {
    uint64_t startNs;
    uint32_t requestCount;  // completed requests, in the order they ended
    uint64_t requestEndNs[maxPassRequests];
};

// Every operation gets the context first. None may be null: a test refuses
// a front end with a null operation before it shows or touches anything.
// Fill one value-initialised (FrontEnd frontEnd{};), so that an operation
// left out is null rather than garbage.
struct FrontEnd {
    void* context;

    // How the track files are named after the base file (track_name.h).
    ExtensionRule trackNameRule;

    // The chosen base file name, or null when none was chosen. The text stays
    // the front end's, unchanged until the test ends.
    const char* (*chooseWriteBaseFile)(void* context);
    const char* (*chooseReadBaseFile)(void* context);

    void (*openProgress)(void* context, uint32_t stepCount);
    void (*showProgressCaption)(void* context, const char* text);
    // One request of the pass is done. Inside the timed span: cheap.
    void (*advanceProgress)(void* context);
    void (*restartProgress)(void* context);
    void (*closeProgress)(void* context);

    // Repaints the main window at once (UpdateWindow).
    void (*repaintMainWindow)(void* context);

    // A modal box owned by the main window; caption null for the default caption.
    void (*showMessageBox)(void* context, EngineMessage message, const char* text,
                           const char* caption, uint32_t flags);
    // The results box: text and caption as formatted, with the figures behind them.
    void (*showResultsBox)(void* context, const ResultsInputs& inputs, const char* text,
                           const char* caption);

    // A track file could not be created (createCall) or opened (openCall),
    // and why; before any message of the test. The Windows program stays
    // silent here (the tests' own messages, if any, follow); the command line
    // names the file and the cause.
    void (*noteTrackFileFailure)(void* context, TrackFileCall call, const char* trackFileName,
                                 IoStatus why);

    // The plan of the test, once, before the file choice: a test that then
    // ends early (cancelled, a file refused) has handed it out too. A test
    // refused at entry has no plan.
    void (*notePlan)(void* context, const TestPlan& plan);

    // The readings of a pass that ran, completed or ended by a short request;
    // given once the timed span is over, before the files are closed.
    void (*notePassReadings)(void* context, const PassReadings& readings);

    // The request that ended a pass (writeCall, readCall), or the close of a
    // written file that aborted the write test (closeCall): its file and why.
    // Once per test, after the test's message box; a short request's once the
    // timed span is over, before its readings. The Windows program stays
    // silent here too.
    void (*noteTransferFailure)(void* context, TrackFileCall call, const char* trackFileName,
                                IoStatus why);
};
