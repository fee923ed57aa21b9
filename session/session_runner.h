// The simulated recorder on the real disk: its track files, one aligned
// transfer buffer, the monotonic clock and the requests, through the
// platform layer. The buffers of the tracks are fill levels only
// (session_model.h): 4096 tracks of 5 s would be gigabytes of memory.
//
// Track files: playback track k reads playBase with the extension of its
// file name (never a folder's) replaced by the number k (1, 2, ...);
// recording track k writes recordBase numbered firstRecordNumber + k - 1.
// Recorded files are created (or emptied), not preallocated, and stay on
// disk. A playback file is read from its start, in whole requests, and
// starts over when it runs out. Every file bypasses the file cache, or every
// file goes through it; played files are read cold either way (their cached
// pages are dropped first where the platform can), until one starts over:
// through the file cache its later reads count as warm.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "session/session_model.h"

struct SessionFiles {
    std::string playBase;
    std::string recordBase;
    uint32_t firstRecordNumber;
    TrackCaching caching;
};

// base with the extension of its file name replaced by ".NNN" (".NNNN" past
// 999); a file name without a dot gets the number appended.
std::string numberedTrackFileName(const std::string& base, uint32_t number);

// Through the file cache a recording is durable only once its data is on
// the disk: after the real-time part, every recorded file's write-back is
// started, then waited for, and the time that takes is measured, with the
// bytes the device itself wrote meanwhile (its own counter).
struct FlushResult {
    bool ran = false;          // every recorded file was flushed
    bool failed = false;       // a file's write-back failed
    bool interrupted = false;  // stopped by an interrupt before the last file
    uint64_t ns = 0;           // from the first start to the last file made durable
    uint64_t dataNs = 0;       // of that, until the last file's data was written
    bool counted = false;      // the device's counter was read before and after
    uint64_t deviceBytes = 0;  // what the device wrote during the flush
};

// One request as it completed.
struct RequestRecord {
    uint64_t startNs;  // session time
    uint64_t endNs;
    uint32_t track;    // the model's track index
    uint32_t level;    // the track's buffer in bytes: before a write took its bytes,
                       // before a read's bytes arrived
};

enum SessionSetup {
    setupReady,
    setupOpenFileLimit,     // the system allows fewer open files than the tracks need
    setupNoMemory,
    setupPlayFileMissing,   // a playback file cannot be opened
    setupPlayFileTooSmall,  // a playback file holds less than one request
    setupCreateFailed,      // a recording file cannot be created
    setupNotEnoughSpace,    // the volume cannot hold what the session records
};

struct SetupResult {
    SessionSetup status = setupReady;
    std::string fileName;  // the file concerned
    IoStatus why{};        // why its create or open failed
    uint32_t openFilesNeeded = 0;
    uint32_t openFileLimit = 0;
    uint64_t bytesNeeded = 0;  // more than this must be free
    uint64_t bytesFree = 0;
};

struct SessionRun {
    SessionModel model;
    SessionFiles files;
    std::vector<TrackHandle> handles;  // by track index
    std::vector<uint64_t> playLength;  // bytes read before a playback file starts over
    std::vector<uint64_t> playPosition;
    std::vector<bool> wrapped;  // the played file has started over
    void* buffer = nullptr;
    uint64_t stampBase = 0;     // this session's stamps start here (write_stamp.h)
    uint64_t writtenBytes = 0;  // by the session's write requests so far
    uint64_t originNs = 0;  // clock reading at session time 0
    uint64_t nowNs = 0;     // session time of the last reading
    bool aborted = false;   // a request moved fewer bytes than asked, or:
    bool closeFailed = false;  // a recorded file failed to close (its data may be lost)
    bool writeBackFailed = false;  // or its flush failed
    uint32_t failedTrack = 0;
    IoStatus failedWhy{};  // why the request, the close or the flush failed
    bool playedCold = true;  // every played file's cached pages were dropped (or bypassed)
    // Reads through the file cache after a played file started over: its
    // pages were read before in this session and may have come from memory.
    uint64_t warmReads = 0;
    bool storageKnown = false;  // storage describes what holds the recorded (else played) files
    StorageInfo storage{};
    FlushResult flush;
};

// Open files a session of this many tracks asks for beyond its track files.
const uint32_t spareOpenFiles = 32;

// The name of a track's file.
std::string sessionTrackFileName(const SessionRun& run, uint32_t track);

// Raises the open-file limit, opens the playback files, creates the
// recording files and checks the free space; on failure everything is closed.
SetupResult openSession(SessionRun& run, const SessionConfig& config, const SessionFiles& files);
// Fills the playback buffers (real reads, before the clock starts), then
// starts the clock.
bool prerollAndStart(SessionRun& run);
// Told of every request as it completes (a failed one too), between two
// requests: after the one's end reading, before the next one's start. The
// runner keeps nothing of a request, so a session of any length needs the
// same memory; what the sink keeps is up to it, and the time it takes is
// time between requests, as a recorder's own work would be.
struct RequestSink {
    void* context = nullptr;
    void (*completed)(void* context, const SessionRun& run, const RequestRecord& request) = nullptr;
};

// Runs requests until session time untilNs, the end of the session or a
// failed request. Returns true while the session has more to run.
bool runSessionUntil(SessionRun& run, uint64_t untilNs, const RequestSink& sink = RequestSink());
// Flushes the recorded files (see FlushResult); before closeSession. A flush
// that fails aborts the session, as a failed request does.
void flushRecording(SessionRun& run);
// Closes every track file and frees the transfer buffer. A recorded file that
// fails to close aborts the session, as a failed request does.
void closeSession(SessionRun& run);
// Session time at which the session ended: its length, or later when the
// last request completed after it.
uint64_t sessionElapsedNs(const SessionRun& run);

// What failed while playback files were written, and why.
enum PlayFileStep { playFileWritten, playFileNoMemory, playFileCreate, playFileWrite, playFileClose };
struct PlayFileFailure {
    PlayFileStep step = playFileWritten;
    std::string file;
    IoStatus why{};
};

// Writes playback files base.first .. base.(first + count - 1) of bytes each
// (a whole number of requests) at full speed, round-robin as a recorder
// leaves an earlier take: one request to every file in turn, so that their
// blocks lie interleaved on the disk. Stops at an interrupt (checked before
// every request). Returns what failed (playFileWritten for nothing);
// interrupted tells an interrupt apart.
PlayFileFailure preparePlayFiles(const std::string& base, uint32_t first, uint32_t count,
                                 uint64_t bytes, uint32_t requestSize, TrackCaching caching,
                                 bool& interrupted);
// Removes base.first .. base.(first + count - 1); returns how many went.
uint32_t removeTrackFiles(const std::string& base, uint32_t first, uint32_t count);
