// What the engine asks of the program around it: the file choice, the progress
// display, message boxes and the repaint of the main window. The Windows
// program and the command line each supply these; tests supply a recorder.
#pragma once
#include <cstdint>

#include "engine/results_report.h"

const uint32_t pathBufferSize = 260;

// On success the chosen base file name is in writeDialogPath / readDialogPath.
extern char readDialogPath[pathBufferSize];
extern char writeDialogPath[pathBufferSize];
bool chooseWriteBaseFile();
bool chooseReadBaseFile();

void openProgress(uint32_t stepCount);
void showProgressCaption(const char* text);
void advanceProgress();
void restartProgress();
void closeProgress();

// Repaints the main window at once (UpdateWindow).
void repaintMainWindow();

// Message box flags the tests use.
const uint32_t messageIconError = 0x10;
const uint32_t messageIconInformation = 0x40;

// A modal box owned by the main window; caption null for the default caption.
void showMessageBox(const char* text, const char* caption, uint32_t flags);
// The results box: text and caption as formatted, with the figures behind them.
void showResultsBox(const ResultsInputs& inputs, const char* text, const char* caption);

// A track file could not be created or opened. The Windows program stays
// silent here (the tests' own messages, if any, follow); the command line
// names the file and the reason.
void noteTrackFileFailure(const char* trackFileName, const char* reason);
