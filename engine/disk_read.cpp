#include "engine/disk_read.h"

#include <cstdio>

#include "engine/front_end.h"
#include "engine/settings.h"
#include "engine/timed_pass.h"

static char readWorkingPath[trackFileNameSize];

static uint32_t readRequest(TrackHandle file, void* buffer, uint32_t size, uint32_t)
{
    return platformReadTrack(file, buffer, size);
}

static const char notEnoughTrackFilesText[] =
    "Not Enough Track Files!\n\nDo The Write Test To Create The Needed Files.";
static const char fileSizeTooSmallText[] =
    "File Size Is Too Small!\n\nDo The Write Test To Create The Needed Files.";

// Opens and size-checks file after file; the first failure decides the message.
static TestOutcome openTrackFiles(const TestPlan& plan)
{
    for (uint32_t number = 1; number <= plan.trackCount; ++number) {
        formatTrackFileName(readWorkingPath, number);
        TrackHandle file = platformOpenTrackFile(readWorkingPath);
        readTrackFiles.slots[number - 1] = file;
        if (file == invalidTrackHandle) {
            noteTrackFileFailure(readWorkingPath, platformLastErrorText());
            showMessageBox(notEnoughTrackFilesText, nullptr, messageIconError);
            closeTrackFiles(readTrackFiles, plan.trackCount);
            return testOpenFailed;
        }
        // The full 64-bit size: a file of 4 GiB or more is long enough.
        uint64_t size = platformSeekTrackEnd(file);
        platformRewindTrack(file);
        if (size < plan.perFileSize) {
            closeTrackFiles(readTrackFiles, plan.trackCount);
            showMessageBox(fileSizeTooSmallText, nullptr, messageIconError);
            return testFileTooSmall;
        }
    }
    return testCompleted;
}

TestOutcome runReadTest()
{
    if (!chooseReadBaseFile()) return testCancelled;
    repaintMainWindow();

    std::snprintf(readWorkingPath, sizeof readWorkingPath, "%.259s", readDialogPath);
    const uint32_t trackCount = TestSettings.trackCount;
    clearTrackFiles(readTrackFiles, trackCount);
    TestPlan plan = planTest(trackCount, TestSettings.readRequestSize,
                             TestSettings.transferBufferSize, TestSettings.testDataBudget);

    TestOutcome opened = openTrackFiles(plan);
    if (opened != testCompleted) return opened;

    return runPassAndReport<readRequest>(readTestKind, readTrackFiles, plan, readBuffer);
}
