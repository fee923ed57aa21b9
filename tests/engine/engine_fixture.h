// Shared set-up for the engine's tests on the platform double.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "engine/plan.h"
#include "engine/settings.h"
#include "tests/doubles/fake_platform.h"
#include "tests/doubles/recording_front_end.h"

class EngineTest : public testing::Test {
protected:
    void SetUp() override
    {
        resetFakePlatform();
        resetFrontEnd();
        TestSettings = {1, 131072, 131072, 524288, 100000000};
        static char buffer[524288];
        readBuffer = buffer;
        writeBuffer = buffer;
    }

    void TearDown() override
    {
        // Every way out leaves no file open and both sets empty.
        EXPECT_EQ(fakeLog.openHandles, 0u);
        for (uint32_t slot = 0; slot < maxTrackFiles; ++slot) {
            EXPECT_EQ(writeTrackFiles.slots[slot], emptyTrackSlot);
            EXPECT_EQ(readTrackFiles.slots[slot], emptyTrackSlot);
        }
        EXPECT_FALSE(frontEnd.progressOpen);
        EXPECT_EQ(fakeLog.beginPeriods, fakeLog.endPeriods);
    }

    static std::string track(uint32_t number)
    {
        char name[32];
        std::snprintf(name, sizeof name, "D:\\Audio\\take.%03u", number);
        return name;
    }

    // Request k of file 1, 2, ... trackCount, then request k + 1 of file 1.
    static void expectRoundRobin(uint32_t trackCount, size_t requests)
    {
        ASSERT_EQ(fakeLog.transferOrder.size(), requests);
        for (size_t i = 0; i < requests; ++i)
            ASSERT_EQ(fakeLog.transferOrder[i], track(static_cast<uint32_t>(i % trackCount) + 1))
                << i;
    }

    // Track files as a write test of trackCount tracks leaves them.
    static void layTrackFiles(uint32_t count, uint64_t size)
    {
        for (uint32_t n = 1; n <= count; ++n) fakeFiles[track(n)].size = size;
    }
};
