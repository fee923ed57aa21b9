#include "engine/disk_read.h"

#include "engine/front_end.h"
#include "engine/settings.h"
#include "engine/test_entry.h"
#include "engine/timed_pass.h"

static char readWorkingPath[trackFileNameSize];

static uint32_t readRequest(TrackHandle file, void* buffer, uint32_t size, uint32_t, IoStatus* why)
{
    return platformReadTrack(file, buffer, size, why);
}

static const char notEnoughTrackFilesText[] =
    "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.";
static const char fileSizeTooSmallText[] =
    "File Size Is Too Small!\n\nDo The Write Test To Create The Needed Files.";

// Opens and size-checks file after file; the first failure decides the message.
static TestOutcome openTrackFiles(const FrontEnd& frontEnd, const char* base,
                                  const TestPlan& plan)
{
    for (uint32_t number = 1; number <= plan.trackCount; ++number) {
        formatTrackName(readWorkingPath, sizeof readWorkingPath, base, number,
                        frontEnd.trackNameRule);
        IoStatus why = {ioOtherError, 0};
        TrackHandle file = platformOpenTrackFile(readWorkingPath, &why);
        readTrackFiles.slots[number - 1] = file;
        if (file == invalidTrackHandle) {
            frontEnd.noteTrackFileFailure(frontEnd.context, openCall, readWorkingPath, why);
            frontEnd.showMessageBox(frontEnd.context, messageMissingTrackFile,
                                    notEnoughTrackFilesText, nullptr, messageIconError);
            closeTrackFiles(readTrackFiles, plan.trackCount);
            return testOpenFailed;
        }
        // The full 64-bit size: a file of 4 GiB or more is long enough.
        uint64_t size = platformSeekTrackEnd(file);
        platformRewindTrack(file);
        if (size < plan.perFileSize) {
            closeTrackFiles(readTrackFiles, plan.trackCount);
            frontEnd.showMessageBox(frontEnd.context, messageFileTooSmall, fileSizeTooSmallText,
                                    nullptr, messageIconError);
            return testFileTooSmall;
        }
    }
    return testCompleted;
}

TestOutcome runReadTest(const FrontEnd& frontEnd)
{
    TestPlan plan;
    TestOutcome entered = enterTest(frontEnd, readTestKind, plan);
    if (entered != testCompleted) return entered;
    const char* base = frontEnd.chooseReadBaseFile(frontEnd.context);
    if (base == nullptr) return testCancelled;
    frontEnd.repaintMainWindow(frontEnd.context);

    clearTrackFiles(readTrackFiles, plan.trackCount);
    TestOutcome opened = openTrackFiles(frontEnd, base, plan);
    if (opened != testCompleted) return opened;

    return runPassAndReport<readRequest>(frontEnd, readTestKind, base, readTrackFiles, plan,
                                         readBuffer);
}
