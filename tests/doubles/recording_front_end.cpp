#include "tests/doubles/recording_front_end.h"

#include "tests/doubles/fake_platform.h"

FrontEndRecord frontEnd;

void resetFrontEnd()
{
    frontEnd = FrontEndRecord();
}

static FrontEndRecord& record(void* context)
{
    return *static_cast<FrontEndRecord*>(context);
}

static const char* choose(void* context, const char* event)
{
    FrontEndRecord& r = record(context);
    r.events.push_back(event);
    return r.chooseResult ? r.chosenPath.c_str() : nullptr;
}

static const char* chooseWrite(void* context) { return choose(context, "chooseWrite"); }
static const char* chooseRead(void* context) { return choose(context, "chooseRead"); }

static void openProgress(void* context, uint32_t stepCount)
{
    FrontEndRecord& r = record(context);
    r.events.push_back("openProgress");
    r.openProgressSteps = stepCount;
    r.progressOpen = true;
    r.advances = 0;
}

static void showProgressCaption(void* context, const char* text)
{
    record(context).events.push_back(std::string("caption ") + text);
}

static void advanceProgress(void* context)
{
    FrontEndRecord& r = record(context);
    ++r.advances;
    ++r.totalAdvances;
}

static void restartProgress(void* context)
{
    FrontEndRecord& r = record(context);
    r.events.push_back("restartProgress");
    ++r.restarts;
    r.advances = 0;
}

static void closeProgress(void* context)
{
    FrontEndRecord& r = record(context);
    r.events.push_back("closeProgress");
    r.progressOpen = false;
}

static void repaintMainWindow(void* context)
{
    record(context).events.push_back("repaint");
}

static void showMessageBox(void* context, EngineMessage message, const char* text,
                           const char* caption, uint32_t flags)
{
    FrontEndRecord& r = record(context);
    r.events.push_back("messageBox");
    RecordedBox box;
    box.message = message;
    box.text = text;
    box.hasCaption = caption != nullptr;
    box.caption = caption != nullptr ? caption : "";
    box.flags = flags;
    box.openHandles = fakeLog.openHandles;
    box.progressOpen = r.progressOpen;
    r.boxes.push_back(box);
}

static void showResultsBox(void* context, const ResultsInputs& inputs, const char* text,
                           const char* caption)
{
    FrontEndRecord& r = record(context);
    r.events.push_back("results");
    r.resultsShown = true;
    r.results = inputs;
    r.resultsText = text;
    r.resultsCaption = caption;
}

static void noteTrackFileFailure(void* context, TrackFileCall call, const char* name, IoStatus why)
{
    record(context).failures.push_back({call, name, why});
}

static void noteTransferFailure(void* context, TrackFileCall call, const char* name, IoStatus why)
{
    record(context).events.push_back("transferFailure");
    noteTrackFileFailure(context, call, name, why);
}

static void notePlan(void* context, const TestPlan& plan)
{
    FrontEndRecord& r = record(context);
    r.events.push_back("plan");
    r.plan = plan;
}

static void notePassReadings(void* context, const PassReadings& readings)
{
    FrontEndRecord& r = record(context);
    r.events.push_back("readings");
    r.readingsStartNs = readings.startNs;
    r.readingsEndNs.assign(readings.requestEndNs, readings.requestEndNs + readings.requestCount);
}

FrontEnd recordingFrontEnd()
{
    FrontEnd recorder{};
    recorder.context = &frontEnd;
    recorder.trackNameRule = extensionAnywhereInPath;
    recorder.chooseWriteBaseFile = chooseWrite;
    recorder.chooseReadBaseFile = chooseRead;
    recorder.openProgress = openProgress;
    recorder.showProgressCaption = showProgressCaption;
    recorder.advanceProgress = advanceProgress;
    recorder.restartProgress = restartProgress;
    recorder.closeProgress = closeProgress;
    recorder.repaintMainWindow = repaintMainWindow;
    recorder.showMessageBox = showMessageBox;
    recorder.showResultsBox = showResultsBox;
    recorder.noteTrackFileFailure = noteTrackFileFailure;
    recorder.notePlan = notePlan;
    recorder.notePassReadings = notePassReadings;
    recorder.noteTransferFailure = noteTransferFailure;
    return recorder;
}
