// A front end that records what the engine asks of it, in order.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/front_end.h"

struct RecordedBox {
    EngineMessage message = messageTransferError;
    std::string text;
    bool hasCaption = false;
    std::string caption;
    uint32_t flags = 0;
    uint32_t openHandles = 0;  // track files still open when it was shown
    bool progressOpen = false;
};

// A failure the engine noted, create or open, request or close.
struct RecordedFailure {
    TrackFileCall call = createCall;
    std::string file;
    IoStatus why = {ioNoError, 0};
};

struct FrontEndRecord {
    bool chooseResult = true;   // what the file dialog answers
    std::string chosenPath = "D:\\Audio\\take.wav";
    // Every call but advanceProgress and noteTrackFileFailure; a transfer
    // failure as "transferFailure".
    std::vector<std::string> events;
    uint32_t advances = 0;            // since openProgress or restartProgress
    uint32_t totalAdvances = 0;
    uint32_t openProgressSteps = 0;
    uint32_t restarts = 0;
    bool progressOpen = false;
    std::vector<RecordedBox> boxes;
    std::vector<RecordedFailure> failures;  // noted, in order
    bool resultsShown = false;
    ResultsInputs results{};
    std::string resultsText;
    std::string resultsCaption;
    TestPlan plan{};               // as handed out
    uint64_t readingsStartNs = 0;  // the engine's readings of the last pass
    std::vector<uint64_t> readingsEndNs;
};

extern FrontEndRecord frontEnd;
void resetFrontEnd();
// A front end that records into frontEnd.
FrontEnd recordingFrontEnd();
