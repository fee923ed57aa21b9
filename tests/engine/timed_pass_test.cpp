#include <vector>

#include "engine/disk_read.h"
#include "engine/disk_write.h"
#include "tests/engine/engine_fixture.h"

namespace {

using TimedPassTest = EngineTest;
using Events = std::vector<std::string>;

// Where each ending's box falls among the front end's and the platform's
// calls: a short request's box within the failed attempt (before its end
// reading and period end, the progress window and the files still open); a
// written file that fails to close, after closing. The failed file and why
// follow the box, a short request's once the timed span is over.
TEST_F(TimedPassTest, EachErrorBoxAtItsPlaceInTheEnding)
{
    struct Case {
        const char* situation;
        bool write;
        uint32_t shortTransferAt;
        uint32_t failCloseAt;
        Events ending;  // from the pass's start on
    };
    const Case cases[] = {
        {"a short write", true, 3, 0,
         {"beginPeriod", "timeGetTime", "messageBox", "timeGetTime", "endPeriod",
          "transferFailure", "readings", "close " + track(1), "close " + track(2),
          "closeProgress", "repaint"}},
        {"a short read", false, 3, 0,
         {"beginPeriod", "timeGetTime", "messageBox", "timeGetTime", "endPeriod",
          "transferFailure", "readings", "close " + track(1), "close " + track(2),
          "closeProgress", "repaint"}},
        {"a written file that fails to close", true, 0, 2,
         {"beginPeriod", "timeGetTime", "timeGetTime", "endPeriod", "readings",
          "close " + track(1), "close " + track(2), "closeProgress", "repaint", "messageBox",
          "transferFailure"}},
    };
    for (const Case& c : cases) {
        resetFakePlatform();
        resetFrontEnd();
        TestSettings.trackCount = 2;
        layTrackFiles(2, 49807360);
        fakeScript.shortTransferAt = c.shortTransferAt;
        fakeScript.failCloseAt = c.failCloseAt;
        fakeLog.sharedEvents = &frontEnd.events;
        EXPECT_EQ(c.write ? runWriteTest(recordingFrontEnd()) : runReadTest(recordingFrontEnd()),
                  testTransferError)
            << c.situation;
        ASSERT_EQ(frontEnd.boxes.size(), 1u) << c.situation;
        EXPECT_EQ(frontEnd.boxes[0].message, messageTransferError) << c.situation;

        Events expected = {"plan", c.write ? "chooseWrite" : "chooseRead", "repaint",
                           "openProgress",
                           std::string("caption ") + (c.write ? "Writing" : "Reading") +
                               ": Test Files For 2 Track(s)"};
        expected.insert(expected.end(), c.ending.begin(), c.ending.end());
        EXPECT_EQ(frontEnd.events, expected) << c.situation;
    }
}

// The front end learns which track file failed, in which call, and the
// platform's code for why: once, whatever the call.
TEST_F(TimedPassTest, TheFrontEndIsToldTheFailedFileAndWhy)
{
    struct Case {
        const char* situation;
        bool write;
        uint32_t failCreateAt, failOpenAt, shortTransferAt, failCloseAt;
        IoStatus why;
        TrackFileCall call;
        uint32_t file;  // 0: no failure is noted
    };
    const Case cases[] = {
        {"a create", true, 2, 0, 0, 0, {ioAccessDenied, 13}, createCall, 2},
        {"an open", false, 0, 1, 0, 0, {ioInUse, 0}, openCall, 1},
        {"a short write", true, 0, 0, 3, 0, {ioDiskFull, 28}, writeCall, 1},
        {"a short read", false, 0, 0, 4, 0, {ioDeviceError, 5}, readCall, 2},
        {"a written file's close", true, 0, 0, 0, 2, {ioDeviceError, 5}, closeCall, 2},
        {"a read file's close: the test completes", false, 0, 0, 0, 1, {ioDeviceError, 5},
         closeCall, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        resetFakePlatform();
        resetFrontEnd();
        TestSettings.trackCount = 2;
        layTrackFiles(2, 49807360);
        fakeScript.failCreateAt = c.failCreateAt;
        fakeScript.failOpenAt = c.failOpenAt;
        fakeScript.shortTransferAt = c.shortTransferAt;
        fakeScript.failCloseAt = c.failCloseAt;
        fakeScript.failureWhy = c.why;
        c.write ? runWriteTest(recordingFrontEnd()) : runReadTest(recordingFrontEnd());
        if (c.file == 0) {
            EXPECT_TRUE(frontEnd.failures.empty()) << frontEnd.failures[0].file;
            continue;
        }
        ASSERT_EQ(frontEnd.failures.size(), 1u);
        const RecordedFailure& told = frontEnd.failures[0];
        EXPECT_EQ(told.call, c.call);
        EXPECT_EQ(told.file, track(c.file));
        EXPECT_EQ(told.why.error, c.why.error);
        EXPECT_EQ(told.why.systemCode, c.why.systemCode);
    }
}

}  // namespace
