// An in-memory stand-in for the platform layer, for faults that cannot be
// caused on a real disk at will: a create or open failing at file k, a short
// transfer at request j, a failing close, a given number of free bytes or a
// failing free-space query, a wrapping counter, a flush that takes a given
// time and drains a given number of bytes, a folder locked elsewhere.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakeFile {
    uint64_t size = 0;
};

// One flush of the file cache's backlog: its time on the monotonic clock and
// the bytes the device writes meanwhile.
struct FakeFlush {
    uint64_t ns = 0;
    uint64_t bytes = 0;
};

// A described storage with a device and a readable counter.
StorageInfo fakeStorageInfo();

struct FakeScript {
    uint32_t failCreateAt = 0;       // 1-based create call that fails; 0: none
    uint32_t failOpenAt = 0;         // 1-based open call that fails
    uint32_t shortTransferAt = 0;    // 1-based request that moves too few bytes
    uint32_t shortTransferBytes = 0; // what that request moves
    uint32_t failCloseAt = 0;        // 1-based close call that fails (the file is closed)
    // What every scripted failure hands back (a create, an open, a short
    // transfer, a close, a write-back, describing the storage). A file that
    // is not there fails to open as not found, a read past a file's end is
    // short, a folder locked elsewhere is in use.
    IoStatus failureWhy = {ioDeviceError, 5};
    uint64_t freeBytes = 1ull << 40;
    const char* freeBytesError = nullptr;  // set: the free-space query fails with it
    std::vector<uint32_t> clockReadings;  // successive timeGetTime results
    // The monotonic clock moves only when the program sleeps or a request
    // runs: each request takes requestNs, or its own time from requestNsAt
    // (1-based request number).
    uint64_t requestNs = 0;
    std::map<uint32_t, uint64_t> requestNsAt;
    uint32_t openFileLimit = 1u << 20;

    StorageInfo storage = fakeStorageInfo();  // what platformDescribeStorage gives
    bool describeStorageFails = false;
    // The device's written-bytes counter (where storage has a device and
    // writtenBytesReadable): deviceWrittenBytes at clock 0, plus
    // deviceBytesPerSecond as the clock moves, plus every flush's bytes.
    uint64_t deviceWrittenBytes = 0;
    uint64_t deviceBytesPerSecond = 0;
    // A flush is the first platformFinishWriteBack after writes through the
    // cache (to any file: the backlog is the device's); the k-th takes
    // flushes[k], beyond the list its last entry. Finishing with nothing
    // written since takes no time.
    std::vector<FakeFlush> flushes;
    uint32_t failStartWriteBackAt = 0;   // 1-based call that fails
    uint32_t failFinishWriteBackAt = 0;  // 1-based call that fails (nothing is flushed)
    bool canDropCachedPages = true;
    std::set<std::string> foldersLockedElsewhere;  // held by another process
    bool listFolderFails = false;
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
    std::string describedFolder;
    std::vector<std::string> startedWriteBack;   // file names, in call order
    std::vector<std::string> finishedWriteBack;
    uint32_t flushes = 0;                        // finishes that flushed a backlog
    std::set<std::string> lockedFolders;         // held by this process
};

extern FakeScript fakeScript;
extern FakeLog fakeLog;
extern std::map<std::string, FakeFile> fakeFiles;  // the fake disk

void resetFakePlatform();
