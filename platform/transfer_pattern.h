// Fills a transfer buffer with xorshift32 words: data that no compressing or
// deduplicating layer below the file system can shortcut. The seed differs
// from process to process, so that two runs (or trakmon and another program
// writing the same pattern beside it) never write the same blocks.
#pragma once
#include <cstdint>

inline void fillTransferPattern(void* buffer, uint32_t size, uint32_t seed)
{
    uint32_t state = seed != 0 ? seed : 0x9E3779B9u;
    uint32_t* words = static_cast<uint32_t*>(buffer);
    for (uint32_t i = 0; i < size / 4; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        words[i] = state;
    }
}
