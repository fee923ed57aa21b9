// The narrow seam through which the engine reaches the operating system.
// One backend per platform is linked in (linux/ or win32/); tests link a double.
#pragma once
#include <cstdint>

// A track file handle: 0 is an empty slot, -1 the failed create/open.
typedef intptr_t TrackHandle;
const TrackHandle emptyTrackSlot = 0;
const TrackHandle invalidTrackHandle = -1;

// Creates (or truncates) a track file for unbuffered, unshared writing.
// Refuses anything but a regular file. Returns invalidTrackHandle on failure.
TrackHandle platformCreateTrackFile(const char* name);
// Opens an existing track file for unbuffered, unshared reading.
TrackHandle platformOpenTrackFile(const char* name);
// How a track file's transfers meet the operating system's file cache:
// bypassed (as every test does: the disk itself), or through it, as most
// recorders write (no preallocation, no sync per request).
enum TrackCaching { bypassFileCache, throughFileCache };
TrackHandle platformCreateTrackFile(const char* name, TrackCaching caching);
TrackHandle platformOpenTrackFile(const char* name, TrackCaching caching);
// Writes the file's cached pages back and drops them, so that its next reads
// come from the disk. False where the platform cannot (then reads may come
// from memory). Files that bypass the cache have none to drop.
bool platformDropCachedPages(TrackHandle file);
// Whether platformDropCachedPages can drop a file's pages on this system.
bool platformCanDropCachedPages();
// Synchronous transfers; the result is the byte count, 0 when the call failed.
uint32_t platformWriteTrack(TrackHandle file, const void* buffer, uint32_t size);
uint32_t platformReadTrack(TrackHandle file, void* buffer, uint32_t size);
// Moves to the end and returns the position there: the file's size.
uint64_t platformSeekTrackEnd(TrackHandle file);
void platformRewindTrack(TrackHandle file);
// Closing the invalid handle does nothing. False when the close failed: a
// write-back error (NFS, SMB, FUSE) may surface only here.
bool platformCloseTrack(TrackHandle file);
// The size of the regular file named, where it exists and can be asked.
bool platformFileSize(const char* name, uint64_t& size);
// Deletes a closed track file (a link is removed, never followed); false on failure.
bool platformRemoveTrackFile(const char* name);
// Makes a new, empty folder; false when the name exists already or the
// folder cannot be made (platformLastErrorText says why).
bool platformMakeFolder(const char* path);
// Removes an empty folder; false on failure.
bool platformRemoveFolder(const char* path);
// Why the last create or open failed, in words for a user.
const char* platformLastErrorText();

// Free bytes for an unprivileged writer on the volume that holds the file
// named by path; 0 when the volume cannot be queried.
uint64_t platformFreeBytes(const char* path);
// Why the last platformFreeBytes query failed, in words for a user; null
// when it succeeded (then a 0 is really no free space).
const char* platformFreeBytesError();

// The 32-bit millisecond counter (wraps after 2^32 ms) and the 1 ms period
// request around a timed pass.
void platformTimeBeginPeriod(uint32_t periodMs);
uint32_t platformTimeGetTime();
void platformTimeEndPeriod(uint32_t periodMs);

// Nanoseconds of a monotonic clock (never set back); the origin is arbitrary.
uint64_t platformMonotonicNs();
// Returns once platformMonotonicNs() has reached deadlineNs: an absolute
// deadline, so that a loop of sleeps does not drift.
void platformSleepUntilNs(uint64_t deadlineNs);

// Raises this process's limit of open files toward wanted, as far as the
// system allows; returns the limit in force afterwards.
uint32_t platformRaiseOpenFileLimit(uint32_t wanted);

// A transfer buffer aligned for unbuffered I/O, filled with pseudo-random data
// (seeded anew in each process) that no layer below can compress or skip;
// null on failure.
void* platformAllocTransferBuffer(uint32_t size);
void platformFreeTransferBuffer(void* buffer);

// Alignment that unbuffered transfers need for buffer addresses.
const uint32_t transferBufferAlignment = 4096;
