// The narrow seam through which the engine reaches the operating system.
// One backend per platform is linked in (linux/ or win32/); tests link a double.
#pragma once
#include <cstdint>

// A track file handle: 0 is an empty slot, -1 the failed create/open.
typedef intptr_t TrackHandle;
const TrackHandle emptyTrackSlot = 0;
const TrackHandle invalidTrackHandle = -1;

// Why a call failed, as a code: each front end has its own words for it.
enum IoError {
    ioNoError,
    ioDiskFull,          // ENOSPC, EDQUOT; ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL, quota
    ioDeviceError,       // EIO, ENXIO and ENODEV on a transfer; ERROR_CRC, ERROR_IO_DEVICE,
                         // ERROR_NOT_READY, read and write faults, a device gone
    ioReadOnly,          // EROFS; ERROR_WRITE_PROTECT
    ioAccessDenied,      // EACCES, EPERM; ERROR_ACCESS_DENIED
    ioNotFound,          // ENOENT, ENOTDIR; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
    ioTooManyOpenFiles,  // EMFILE, ENFILE; ERROR_TOO_MANY_OPEN_FILES
    ioNoMemory,          // ENOMEM; ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY
    ioFileTooLarge,      // EFBIG; ERROR_FILE_TOO_LARGE
    ioNotRegularFile,    // a symbolic link, junction, folder, pipe or device refused in a
                         // track file's place (Linux: ELOOP, EISDIR, ENXIO on open, or none)
    ioInUse,             // another program holds the file or the lock (EWOULDBLOCK from
                         // flock, ETXTBSY, EBUSY; ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION)
    ioNameTooLong,       // ENAMETOOLONG; ERROR_FILENAME_EXCED_RANGE
    ioAlreadyExists,     // EEXIST; ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS
    ioNoDirectIo,        // EINVAL on opening bypassing the cache: the file system cannot
    ioShortTransfer,     // fewer bytes moved than asked, and the system named no error
    ioOtherError,        // anything else: systemCode says what
};

// A failed call's code with the system's own number beside it (errno,
// GetLastError); systemCode is 0 where the system gave none (a refusal of
// the platform's own, a short transfer, a cause inferred).
struct IoStatus {
    IoError error;
    uint32_t systemCode;
};

// Every call below that takes an IoStatus* writes it only when it fails
// (a transfer: when it moves fewer bytes than asked), and ignores a null one.

// Creates (or truncates) a track file for unbuffered, unshared writing.
// Refuses anything but a regular file. Returns invalidTrackHandle on failure.
TrackHandle platformCreateTrackFile(const char* name, IoStatus* why = nullptr);
// Opens an existing track file for unbuffered, unshared reading.
TrackHandle platformOpenTrackFile(const char* name, IoStatus* why = nullptr);
// How a track file's transfers meet the operating system's file cache:
// bypassed (as every test does: the disk itself), or through it, as most
// recorders write (no preallocation, no sync per request).
enum TrackCaching { bypassFileCache, throughFileCache };
TrackHandle platformCreateTrackFile(const char* name, TrackCaching caching, IoStatus* why = nullptr);
TrackHandle platformOpenTrackFile(const char* name, TrackCaching caching, IoStatus* why = nullptr);
// Writes the file's cached pages back and drops them, so that its next reads
// come from the disk. False where the platform cannot (then reads may come
// from memory). Files that bypass the cache have none to drop.
bool platformDropCachedPages(TrackHandle file);
// Synchronous transfers; the result is the byte count, 0 when the call failed.
uint32_t platformWriteTrack(TrackHandle file, const void* buffer, uint32_t size,
                            IoStatus* why = nullptr);
uint32_t platformReadTrack(TrackHandle file, void* buffer, uint32_t size, IoStatus* why = nullptr);
// Moves to the end and returns the position there: the file's size.
uint64_t platformSeekTrackEnd(TrackHandle file);
void platformRewindTrack(TrackHandle file);
// Closing the invalid handle does nothing. False when the close failed: a
// write-back error (NFS, SMB, FUSE) may surface only here.
bool platformCloseTrack(TrackHandle file, IoStatus* why = nullptr);
// The size of the regular file named, where it exists and can be asked.
bool platformFileSize(const char* name, uint64_t& size);
// Deletes a closed track file (a link is removed, never followed); false on failure.
bool platformRemoveTrackFile(const char* name);
// Makes a new, empty folder; false when the name exists already or the
// folder cannot be made.
bool platformMakeFolder(const char* path, IoStatus* why = nullptr);
// Removes an empty folder; false on failure.
bool platformRemoveFolder(const char* path);
// Why the last create, open, folder, lock or storage call failed, in words
// for a user (made from its code).
const char* platformLastErrorText();
// The system's own message for its error number (strerror, FormatMessage),
// for a code that has no words of a front end's own; cut to fit size.
void platformSystemMessage(uint32_t systemCode, char* text, uint32_t size);

// Write-back in two halves, so that many files are flushed together: start
// writing the file's cached dirty pages without waiting (Windows has nothing
// to start: true)...
bool platformStartWriteBack(TrackHandle file, IoStatus* why = nullptr);
// ...then wait until the file's data is on the disk, without its metadata
// (Linux: a journal commit per file would be timed too, a few hundred
// microseconds each; Windows: FlushFileBuffers, the whole)...
bool platformWaitWriteBack(TrackHandle file, IoStatus* why = nullptr);
// ...and last make the file durable, its metadata too (a file opened for writing).
bool platformFinishWriteBack(TrackHandle file, IoStatus* why = nullptr);
// Whether platformDropCachedPages can drop one file's pages here.
bool platformCanDropCachedPages();

// Calls each for every entry of the folder but "." and "..", in no set
// order. Links are not followed: a symbolic link (Windows: any reparse
// point) is reported as itself, neither a folder nor with its target's size.
// size is a regular file's; 0 for anything else. False when the folder
// cannot be read (entries reported before the failure stay reported).
bool platformListFolder(const char* folder,
                        void (*each)(void* context, const char* name, bool isFolder, uint64_t size),
                        void* context);

// The lock file that platformLockFolder creates in a folder.
const char* const folderLockName = ".trakmon.lock";
// Creates the folder's lock file and holds it exclusively: a handle for
// platformUnlockFolder, or invalidTrackHandle when the lock is held already
// (by another process or by another lock of this one) or cannot be made.
TrackHandle platformLockFolder(const char* folder, IoStatus* why = nullptr);
// Whether the folder's lock is held right now (a lock of this process
// counts too); a folder without the lock file is not locked.
bool platformFolderLocked(const char* folder);
// Releases the lock and removes the lock file. A process that ends without
// unlocking releases the lock; Linux leaves the file behind (not held),
// Windows removes it with the handle.
bool platformUnlockFolder(TrackHandle lock, const char* folder);

// What holds a folder, as the system names it: empty texts where the system
// gives no answer; a text longer than its field is cut to fit.
struct StorageInfo {
    char device[128];        // "/dev/vda", "/dev/loop3", "\\.\C:"; empty where there is none
                             // (tmpfs, FUSE, overlay, a network share)
    char model[128];         // the device's (or a partition's disk's) model, where told
    char driver[64];         // Linux: the device's driver ("virtio_blk"), where it has one
    char backingFile[512];   // a loop device's backing file
    char fileSystem[32];     // "ext4", "tmpfs", "NTFS"
    char mountPoint[512];    // "/", "C:\"
    char mountOptions[512];  // Linux: the mount's options, then the file system's own; Windows: empty
    char counter[192];       // what platformDeviceWrittenBytes reads ("/sys/dev/block/254:0/stat",
                             // "IOCTL_DISK_PERFORMANCE \\.\C:"); empty where there is none
    bool writtenBytesReadable;  // the counter could be read when the storage was described
};
// Describes the storage that holds folder (an existing path); false when it
// cannot be found.
bool platformDescribeStorage(const char* folder, StorageInfo& info, IoStatus* why = nullptr);
// The bytes the device has written since it started counting (Linux: sectors
// written x 512, a partition's own); false where there is no device or its
// counter cannot be read.
bool platformDeviceWrittenBytes(const StorageInfo& info, uint64_t& bytes);

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
