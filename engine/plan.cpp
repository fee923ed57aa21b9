#include "engine/plan.h"

#include <cstdio>

TrackFileSet writeTrackFiles;
TrackFileSet readTrackFiles;

TestPlan planTest(uint32_t trackCount, uint32_t requestSize, uint32_t transferBufferSize,
                  uint32_t testDataBudget)
{
    TestPlan plan;
    plan.trackCount = trackCount;
    plan.requestSize = requestSize;
    plan.transferBufferSize = transferBufferSize;
    plan.testDataBudget = testDataBudget;

    uint32_t granule = trackCount * transferBufferSize;
    plan.sizeMultiplier = testDataBudget / granule;
    plan.totalTestBytes = granule * plan.sizeMultiplier;
    plan.perFileSize = plan.totalTestBytes / trackCount;
    plan.stepCount = plan.totalTestBytes / requestSize;
    if (plan.stepCount * requestSize != plan.totalTestBytes) plan.stepCount += 1;
    return plan;
}

void clearTrackFiles(TrackFileSet& set, uint32_t trackCount)
{
    for (uint32_t slot = 0; slot < trackCount; ++slot) set.slots[slot] = emptyTrackSlot;
}

bool closeTrackFiles(TrackFileSet& set, uint32_t trackCount)
{
    bool closed = true;
    for (uint32_t slot = 0; slot < trackCount; ++slot) {
        if (set.slots[slot] == emptyTrackSlot) continue;
        if (!platformCloseTrack(set.slots[slot])) closed = false;
        set.slots[slot] = emptyTrackSlot;
    }
    return closed;
}

size_t findLastChar(const char* text, char c)
{
    size_t end = 0;
    while (text[end] != '\0') ++end;
    for (size_t pos = end; pos > 0; --pos)
        if (text[pos - 1] == c) return pos - 1;
    return end;
}

uint64_t queryFreeBytes(const char* path)
{
    return platformFreeBytes(path);
}

const char* freeSpaceQueryError()
{
    return platformFreeBytesError();
}

bool enoughFreeSpace(uint64_t freeBytes, uint32_t totalTestBytes)
{
    return freeBytes > static_cast<uint64_t>(totalTestBytes) + freeSpaceReserve;
}
