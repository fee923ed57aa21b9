// An in-memory stand-in for the platform layer, for faults that cannot be
// caused on a real disk at will: a create or open failing at file k, a short
// transfer at request j, a failing close, a given number of free bytes or a
// failing free-space query, a wrapping counter.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct FakeFile {
    uint64_t size = 0;
};

struct FakeScript {
    uint32_t failCreateAt = 0;       // 1-based create call that fails; 0: none
    uint32_t failOpenAt = 0;         // 1-based open call that fails
    uint32_t shortTransferAt = 0;    // 1-based request that moves too few bytes
    uint32_t shortTransferBytes = 0; // what that request moves
    uint32_t failCloseAt = 0;        // 1-based close call that fails (the file is closed)
    uint64_t freeBytes = 1ull << 40;
    const char* freeBytesError = nullptr;  // set: the free-space query fails with it
    std::vector<uint32_t> clockReadings;  // successive timeGetTime results
    // The monotonic clock moves only when the program sleeps or a request
    // runs: each request takes requestNs, or its own time from requestNsAt
    // (1-based request number).
    uint64_t requestNs = 0;
    std::map<uint32_t, uint64_t> requestNsAt;
    uint32_t openFileLimit = 1u << 20;
};

struct FakeLog {
    std::vector<std::string> created;        // names, in call order
    std::vector<std::string> opened;
    std::vector<std::string> transferOrder;  // file name of every request
    std::vector<std::string> closed;
    uint32_t rewinds = 0;
    uint32_t beginPeriods = 0;
    uint32_t endPeriods = 0;
    std::string freeBytesPath;
    uint32_t openHandles = 0;  // handles open right now
    std::vector<std::string> removed;
    uint64_t nowNs = 0;  // the monotonic clock
    uint32_t sleeps = 0;
    // Set by a test: the timer period requests, the millisecond readings and
    // the closes are written here too ("beginPeriod", "timeGetTime",
    // "endPeriod", "close NAME"), e.g. among the recording front end's
    // events, for one order of both.
    std::vector<std::string>* sharedEvents = nullptr;
};

extern FakeScript fakeScript;
extern FakeLog fakeLog;
extern std::map<std::string, FakeFile> fakeFiles;  // the fake disk

void resetFakePlatform();
