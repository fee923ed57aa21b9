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
// written file that fails to close, after closing.
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
         {"beginPeriod", "timeGetTime", "messageBox", "timeGetTime", "endPeriod", "readings",
          "close " + track(1), "close " + track(2), "closeProgress", "repaint"}},
        {"a short read", false, 3, 0,
         {"beginPeriod", "timeGetTime", "messageBox", "timeGetTime", "endPeriod", "readings",
          "close " + track(1), "close " + track(2), "closeProgress", "repaint"}},
        {"a written file that fails to close", true, 0, 2,
         {"beginPeriod", "timeGetTime", "timeGetTime", "endPeriod", "readings",
          "close " + track(1), "close " + track(2), "closeProgress", "repaint", "messageBox"}},
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

}  // namespace
