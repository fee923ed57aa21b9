// What a write pass writes: the one transfer buffer, filled once with
// pseudo-random data before any pass, with 8 bytes of every 4 KB block
// stamped before each request with a number that no other block of the pass
// carries. So no two blocks of a pass are alike, as no two blocks of a
// recording are, and a layer below that compresses or deduplicates sees only
// new data; the buffer stays hot, like a recorder's ring buffer.
//
// Block b of the buffer carries its stamp in its cache line b mod 64, not in
// its first 8 bytes: addresses 4 KB apart share one set of the first-level
// cache, and 32 stores into one set cost about 9 ns each, where stores into
// 32 different sets cost well under 1 ns (loop_bench's Stamp).
#pragma once
#include <cstdint>
#include <cstring>

#include "platform/platform.h"

const uint32_t stampBlockSize = 4096;
const uint32_t stampLineSize = 64;
const uint32_t stampLinesPerBlock = stampBlockSize / stampLineSize;

// Where the stamp of the block that starts at buffer offset blockStart lies.
inline uint32_t stampPosition(uint32_t blockStart)
{
    return blockStart + blockStart / stampBlockSize % stampLinesPerBlock * stampLineSize;
}

// Write passes of this process so far: the stamp's high half, so that one
// pass does not repeat the blocks of the last either.
extern uint32_t writePassNumber;

// Block b of the request gets the 64-bit number firstStamp + b * 4096.
inline void stampBlocks(void* buffer, uint32_t size, uint64_t firstStamp)
{
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    uint64_t stamp = firstStamp;
    for (uint32_t at = 0; at < size; at += stampBlockSize, stamp += stampBlockSize)
        std::memcpy(bytes + stampPosition(at), &stamp, sizeof stamp);
}

// Block b of the request starting passOffset bytes into the pass gets the
// 64-bit number passNumber * 2^32 + passOffset + b * 4096: its own offset
// in the pass (under 2^32, as every pass is).
inline void stampWriteRequest(void* buffer, uint32_t size, uint32_t passOffset, uint32_t passNumber)
{
    stampBlocks(buffer, size, (static_cast<uint64_t>(passNumber) << 32) | passOffset);
}

typedef uint32_t (*PlatformWrite)(TrackHandle file, const void* buffer, uint32_t size,
                                  IoStatus* why);

// One request of the write pass: the stamp, then the write.
template <PlatformWrite write>
uint32_t stampedWrite(TrackHandle file, void* buffer, uint32_t size, uint32_t passOffset,
                      IoStatus* why)
{
    stampWriteRequest(buffer, size, passOffset, writePassNumber);
    return write(file, buffer, size, why);
}
