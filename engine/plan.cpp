#include "engine/plan.h"

#include <cstdio>

#include "engine/settings.h"

// Track file n lives in slot n - 1, also inside the timed loop: every track
// count the engine accepts (areChoiceSettings) has its slots.
static constexpr bool everyChoiceHasSlots()
{
    for (uint32_t trackCount : trackCountChoices)
        if (trackCount > maxTrackFiles) return false;
    return true;
}
static_assert(everyChoiceHasSlots(), "a track count of the choices has no slots");

TrackFileSet writeTrackFiles;
TrackFileSet readTrackFiles;

void clearTrackFiles(TrackFileSet& set, uint32_t trackCount)
{
    for (uint32_t slot = 0; slot < trackCount; ++slot) set.slots[slot] = emptyTrackSlot;
}

bool closeTrackFiles(TrackFileSet& set, uint32_t trackCount, CloseFailure* first)
{
    bool closed = true;
    for (uint32_t slot = 0; slot < trackCount; ++slot) {
        if (set.slots[slot] == emptyTrackSlot) continue;
        IoStatus why = {ioOtherError, 0};
        if (!platformCloseTrack(set.slots[slot], &why)) {
            if (closed && first != nullptr) *first = CloseFailure{slot, why};
            closed = false;
        }
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

FreeSpace queryFreeSpace(const char* path)
{
    uint64_t bytes = platformFreeBytes(path);
    return FreeSpace{bytes != 0 || platformFreeBytesError() == nullptr, bytes};
}

bool enoughFreeSpace(uint64_t freeBytes, uint32_t totalTestBytes)
{
    return freeBytes > static_cast<uint64_t>(totalTestBytes) + freeSpaceReserve;
}
