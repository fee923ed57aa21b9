// The test selections of the menu (or the command line) and the two transfer
// buffers that every request reads into or writes from.
#pragma once
#include <cstdint>

struct TestSettingsRecord {
    uint32_t trackCount;          // files
    uint32_t readRequestSize;     // bytes
    uint32_t writeRequestSize;    // bytes
    uint32_t transferBufferSize;  // bytes, fixed: size of each buffer, granule of the file size
    uint32_t testDataBudget;      // bytes, fixed: upper bound on one test
};

extern TestSettingsRecord TestSettings;

const uint32_t defaultTrackCount = 1;
const uint32_t defaultRequestSize = 131072;
const uint32_t fixedTransferBufferSize = 524288;
const uint32_t fixedTestDataBudget = 100000000;

// The selectable values, in menu order; known at compile time, so that the
// largest plan they allow is too (front_end.h).
const uint32_t trackCountChoiceCount = 8;
inline constexpr uint32_t trackCountChoices[trackCountChoiceCount] = {1, 2, 12, 24, 36, 48, 60, 72};
const uint32_t requestSizeChoiceCount = 5;
inline constexpr uint32_t requestSizeChoices[requestSizeChoiceCount] = {32768, 65536, 131072,
                                                                        262144, 524288};
const uint32_t smallestRequestSize = 32768;  // the first choice
static_assert(smallestRequestSize == requestSizeChoices[0], "the first choice is the smallest");

bool isTrackCountChoice(uint32_t trackCount);
bool isRequestSizeChoice(uint32_t requestSize);
// The settings a test of requestSize (the record's read or write size) is
// planned for: a track count and request size among the choices, the fixed
// buffer and budget. No other plan is known to fit the engine's arrays.
bool areChoiceSettings(const TestSettingsRecord& settings, uint32_t requestSize);

// Allocated by the front end at start-up (platformAllocTransferBuffer), freed at exit.
extern void* readBuffer;
extern void* writeBuffer;
