// The plan of one test and the numbered track files that both tests share.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/track_name.h"
#include "platform/platform.h"

const uint32_t maxTrackFiles = 72;
const uint32_t freeSpaceReserve = 512000;  // bytes that must stay free beyond the test

struct TestPlan {
    uint32_t trackCount;
    uint32_t requestSize;
    uint32_t transferBufferSize;
    uint32_t testDataBudget;
    uint32_t sizeMultiplier;  // transfer buffers per track file
    uint32_t perFileSize;     // bytes per track file
    uint32_t totalTestBytes;  // bytes of one timed pass, over all files
    uint32_t stepCount;       // requests of one timed pass
};

struct TrackFileSet {
    TrackHandle slots[maxTrackFiles];
};

extern TrackFileSet writeTrackFiles;
extern TrackFileSet readTrackFiles;

// Pure arithmetic, also at compile time (front_end.h bounds every plan of the
// choices with it).
constexpr TestPlan planTest(uint32_t trackCount, uint32_t requestSize,
                            uint32_t transferBufferSize, uint32_t testDataBudget)
{
    TestPlan plan{};
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

// The requests a timed pass of plan completes at most: whole rounds of one
// request per file, until the plan's bytes have moved (one round at least).
constexpr uint32_t passRequests(const TestPlan& plan)
{
    uint32_t roundBytes = plan.trackCount * plan.requestSize;
    uint32_t rounds = (plan.totalTestBytes + roundBytes - 1) / roundBytes;
    return (rounds == 0 ? 1 : rounds) * plan.trackCount;
}

// The first close of a set that failed: its slot and why.
struct CloseFailure {
    uint32_t slot;
    IoStatus why;
};

// Marks slots 0 .. trackCount-1 empty without closing anything.
void clearTrackFiles(TrackFileSet& set, uint32_t trackCount);
// Closes and empties every non-empty slot 0 .. trackCount-1, in order.
// False when any close failed; first, where given, gets the first that did.
bool closeTrackFiles(TrackFileSet& set, uint32_t trackCount, CloseFailure* first = nullptr);

// Position of the last c in text, or of the terminator when there is none.
size_t findLastChar(const char* text, char c);

// Free bytes of the volume that holds path.
uint64_t queryFreeBytes(const char* path);
// Why the last query failed, in words for a user; null when it succeeded
// (then a 0 is really no free space).
const char* freeSpaceQueryError();
// Free bytes where the volume could be asked: a full disk (0 bytes, and the
// query answered) is known, unlike one that could not be asked.
struct FreeSpace {
    bool known;
    uint64_t bytes;
};
FreeSpace queryFreeSpace(const char* path);
// The write test's condition: strictly more than totalTestBytes + reserve.
bool enoughFreeSpace(uint64_t freeBytes, uint32_t totalTestBytes);
