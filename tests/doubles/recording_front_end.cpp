#include "tests/doubles/recording_front_end.h"

#include <cstdio>

#include "engine/front_end.h"
#include "tests/doubles/fake_platform.h"

char readDialogPath[pathBufferSize];
char writeDialogPath[pathBufferSize];
FrontEndRecord frontEnd;

void resetFrontEnd()
{
    frontEnd = FrontEndRecord();
}

static bool choose(char* path, const char* event)
{
    frontEnd.events.push_back(event);
    if (!frontEnd.chooseResult) return false;
    std::snprintf(path, pathBufferSize, "%s", frontEnd.chosenPath.c_str());
    return true;
}

bool chooseWriteBaseFile() { return choose(writeDialogPath, "chooseWrite"); }
bool chooseReadBaseFile() { return choose(readDialogPath, "chooseRead"); }

void openProgress(uint32_t stepCount)
{
    frontEnd.events.push_back("openProgress");
    frontEnd.openProgressSteps = stepCount;
    frontEnd.progressOpen = true;
    frontEnd.advances = 0;
}

void showProgressCaption(const char* text)
{
    frontEnd.events.push_back(std::string("caption ") + text);
}

void advanceProgress()
{
    ++frontEnd.advances;
    ++frontEnd.totalAdvances;
}

void restartProgress()
{
    frontEnd.events.push_back("restartProgress");
    ++frontEnd.restarts;
    frontEnd.advances = 0;
}

void closeProgress()
{
    frontEnd.events.push_back("closeProgress");
    frontEnd.progressOpen = false;
}

void repaintMainWindow()
{
    frontEnd.events.push_back("repaint");
}

void showMessageBox(const char* text, const char* caption, uint32_t flags)
{
    frontEnd.events.push_back("messageBox");
    RecordedBox box;
    box.text = text;
    box.hasCaption = caption != nullptr;
    box.caption = caption != nullptr ? caption : "";
    box.flags = flags;
    box.openHandles = fakeLog.openHandles;
    box.progressOpen = frontEnd.progressOpen;
    frontEnd.boxes.push_back(box);
}

void showResultsBox(const ResultsInputs& inputs, const char* text, const char* caption)
{
    frontEnd.events.push_back("results");
    frontEnd.resultsShown = true;
    frontEnd.results = inputs;
    frontEnd.resultsText = text;
    frontEnd.resultsCaption = caption;
}

void noteTrackFileFailure(const char*, const char*) {}
