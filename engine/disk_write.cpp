#include "engine/disk_write.h"

#include <cstdio>

#include "engine/front_end.h"
#include "engine/settings.h"
#include "engine/timed_pass.h"
#include "engine/write_stamp.h"

static char writeWorkingPath[trackFileNameSize];

uint32_t writePassNumber = 0;

TestOutcome runWriteTest()
{
    if (!chooseWriteBaseFile()) return testCancelled;
    repaintMainWindow();

    std::snprintf(writeWorkingPath, sizeof writeWorkingPath, "%.259s", writeDialogPath);
    const uint32_t trackCount = TestSettings.trackCount;
    clearTrackFiles(writeTrackFiles, trackCount);
    TestPlan plan = planTest(trackCount, TestSettings.writeRequestSize,
                             TestSettings.transferBufferSize, TestSettings.testDataBudget);

    for (uint32_t number = 1; number <= trackCount; ++number) {
        formatTrackFileName(writeWorkingPath, number);
        TrackHandle file = platformCreateTrackFile(writeWorkingPath);
        writeTrackFiles.slots[number - 1] = file;
        if (file == invalidTrackHandle) {
            noteTrackFileFailure(writeWorkingPath, platformLastErrorText());
            closeTrackFiles(writeTrackFiles, trackCount);
            return testCreateFailed;
        }
    }

    // Asked after the create, so that space freed by truncating an earlier
    // run's files already counts.
    if (!enoughFreeSpace(queryFreeBytes(writeWorkingPath), plan.totalTestBytes)) {
        showMessageBox("Not Enough Disk Space On Drive "
                       "\nTo Write Test Files!",
                       "WARNING", messageIconError);
        closeTrackFiles(writeTrackFiles, trackCount);
        return testNotEnoughSpace;
    }

    ++writePassNumber;
    return runPassAndReport<stampedWrite<platformWriteTrack>>(writeTestKind, writeTrackFiles, plan,
                                                              writeBuffer);
}
