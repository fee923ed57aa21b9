// What the engine asks of the program around it: the file choice, the progress
// display, message boxes and the repaint of the main window. The Windows
// program and the command line each fill in one FrontEnd and hand it to the
// tests; the engine's tests hand in a recorder.
#pragma once
#include <cstdint>

#include "engine/results_report.h"

const uint32_t pathBufferSize = 260;

// Message box flags the tests use.
const uint32_t messageIconError = 0x10;
const uint32_t messageIconInformation = 0x40;

// Every operation gets the context first. None may be null.
struct FrontEnd {
    void* context;

    // The chosen base file name, or null when none was chosen. The text stays
    // the front end's and is copied before anything else is asked.
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
    void (*showMessageBox)(void* context, const char* text, const char* caption,
                           uint32_t flags);
    // The results box: text and caption as formatted, with the figures behind them.
    void (*showResultsBox)(void* context, const ResultsInputs& inputs, const char* text,
                           const char* caption);

    // A track file could not be created or opened. The Windows program stays
    // silent here (the tests' own messages, if any, follow); the command line
    // names the file and the reason.
    void (*noteTrackFileFailure)(void* context, const char* trackFileName, const char* reason);
};
