#include "engine/disk_write.h"

#include "engine/front_end.h"
#include "engine/settings.h"
#include "engine/test_entry.h"
#include "engine/timed_pass.h"
#include "engine/write_stamp.h"

static char writeWorkingPath[trackFileNameSize];

uint32_t writePassNumber = 0;

TestOutcome runWriteTest(const FrontEnd& frontEnd)
{
    TestPlan plan;
    TestOutcome entered = enterTest(frontEnd, writeTestKind, plan);
    if (entered != testCompleted) return entered;
    const char* base = frontEnd.chooseWriteBaseFile(frontEnd.context);
    if (base == nullptr) return testCancelled;
    frontEnd.repaintMainWindow(frontEnd.context);

    const uint32_t trackCount = plan.trackCount;
    clearTrackFiles(writeTrackFiles, trackCount);

    for (uint32_t number = 1; number <= trackCount; ++number) {
        formatTrackName(writeWorkingPath, sizeof writeWorkingPath, base, number,
                        frontEnd.trackNameRule);
        IoStatus why = {ioOtherError, 0};
        TrackHandle file = platformCreateTrackFile(writeWorkingPath, &why);
        writeTrackFiles.slots[number - 1] = file;
        if (file == invalidTrackHandle) {
            frontEnd.noteTrackFileFailure(frontEnd.context, createCall, writeWorkingPath, why);
            closeTrackFiles(writeTrackFiles, trackCount);
            return testCreateFailed;
        }
    }

    // Asked after the create, so that space freed by truncating an earlier
    // run's files already counts.
    if (!enoughFreeSpace(queryFreeBytes(writeWorkingPath), plan.totalTestBytes)) {
        frontEnd.showMessageBox(frontEnd.context, messageNotEnoughSpace,
                       "Not Enough Disk Space On Drive "
                       "\nTo Write Test Files!",
                       "WARNING", messageIconError);
        closeTrackFiles(writeTrackFiles, trackCount);
        return testNotEnoughSpace;
    }

    ++writePassNumber;
    return runPassAndReport<stampedWrite<platformWriteTrack>>(frontEnd, writeTestKind, base,
                                                              writeTrackFiles, plan, writeBuffer);
}
