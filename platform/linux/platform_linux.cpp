// Linux backend: O_DIRECT files with an exclusive lock, statvfs, and a
// monotonic millisecond counter truncated to 32 bits like the Windows one.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/transfer_pattern.h"

static char lastErrorText[320];
static char freeBytesErrorText[400];
static bool freeBytesFailed;

// Handles are descriptors plus one, so that descriptor 0 is never the empty slot.
static int descriptorOf(TrackHandle file) { return static_cast<int>(file - 1); }
static TrackHandle handleOf(int fd) { return static_cast<TrackHandle>(fd) + 1; }

static TrackHandle failWith(int fd, int error, const char* action)
{
    if (fd >= 0) close(fd);
    const char* reason = std::strerror(error);
    if (error == EINVAL)
        reason = "the file system does not support direct (unbuffered) I/O";
    else if (error == ELOOP)
        reason = "it is a symbolic link; track files must be regular files";
    else if (error == ENXIO)
        reason = "not a regular file (a pipe or a device)";
    else if (error == EWOULDBLOCK)
        reason = "another program holds the file open";
    std::snprintf(lastErrorText, sizeof lastErrorText, "cannot %s: %s", action, reason);
    return invalidTrackHandle;
}

// Opens without following links and without blocking on a FIFO, then accepts
// only a regular file and takes the exclusive lock (no sharing).
static TrackHandle openRegularFile(const char* name, int flags, const char* action)
{
    int fd = open(name, flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return failWith(-1, errno, action);
    struct stat info;
    if (fstat(fd, &info) != 0) return failWith(fd, errno, action);
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        std::snprintf(lastErrorText, sizeof lastErrorText, "cannot %s: not a regular file",
                      action);
        return invalidTrackHandle;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return failWith(fd, errno, action);
    int status = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return handleOf(fd);
}

static int cachingFlags(TrackCaching caching)
{
    return caching == bypassFileCache ? O_DIRECT : 0;
}

TrackHandle platformCreateTrackFile(const char* name, TrackCaching caching)
{
    // Truncated only once the lock is held: a file another trakmon holds is
    // never emptied (the lock is advisory: other programs are not kept out).
    TrackHandle file = openRegularFile(name, O_WRONLY | O_CREAT | cachingFlags(caching), "create");
    if (file == invalidTrackHandle) return file;
    if (ftruncate(descriptorOf(file), 0) != 0) return failWith(descriptorOf(file), errno, "create");
    return file;
}

TrackHandle platformOpenTrackFile(const char* name, TrackCaching caching)
{
    return openRegularFile(name, O_RDONLY | cachingFlags(caching), "open");
}

TrackHandle platformCreateTrackFile(const char* name)
{
    return platformCreateTrackFile(name, bypassFileCache);
}

TrackHandle platformOpenTrackFile(const char* name)
{
    return platformOpenTrackFile(name, bypassFileCache);
}

bool platformCanDropCachedPages()
{
    return true;
}

bool platformDropCachedPages(TrackHandle file)
{
    // Dirty pages cannot be dropped: written back first.
    int fd = descriptorOf(file);
    if (fdatasync(fd) != 0) return false;
    return posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
}

uint32_t platformWriteTrack(TrackHandle file, const void* buffer, uint32_t size)
{
    ssize_t count = write(descriptorOf(file), buffer, size);
    return count < 0 ? 0 : static_cast<uint32_t>(count);
}

uint32_t platformReadTrack(TrackHandle file, void* buffer, uint32_t size)
{
    ssize_t count = read(descriptorOf(file), buffer, size);
    return count < 0 ? 0 : static_cast<uint32_t>(count);
}

uint64_t platformSeekTrackEnd(TrackHandle file)
{
    off_t end = lseek(descriptorOf(file), 0, SEEK_END);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

void platformRewindTrack(TrackHandle file)
{
    lseek(descriptorOf(file), 0, SEEK_SET);
}

bool platformCloseTrack(TrackHandle file)
{
    if (file == invalidTrackHandle || file == emptyTrackSlot) return true;
    return close(descriptorOf(file)) == 0;
}

bool platformFileSize(const char* name, uint64_t& size)
{
    struct stat info;
    if (stat(name, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool platformRemoveTrackFile(const char* name)
{
    return unlink(name) == 0;
}

bool platformMakeFolder(const char* path)
{
    if (mkdir(path, 0755) == 0) return true;
    std::snprintf(lastErrorText, sizeof lastErrorText, "cannot make the folder: %s",
                  std::strerror(errno));
    return false;
}

bool platformRemoveFolder(const char* path)
{
    return rmdir(path) == 0;
}

const char* platformLastErrorText()
{
    return lastErrorText;
}

uint64_t platformFreeBytes(const char* path)
{
    // The folder that holds the file: everything before the last '/'.
    char folder[320];
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr)
        std::snprintf(folder, sizeof folder, ".");
    else if (slash == path)
        std::snprintf(folder, sizeof folder, "/");
    else
        std::snprintf(folder, sizeof folder, "%.*s", static_cast<int>(slash - path), path);

    struct statvfs volume;
    freeBytesFailed = statvfs(folder, &volume) != 0;
    if (freeBytesFailed) {
        std::snprintf(freeBytesErrorText, sizeof freeBytesErrorText,
                      "cannot query the free space of %s: %s", folder, std::strerror(errno));
        return 0;
    }
    return static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
}

const char* platformFreeBytesError()
{
    return freeBytesFailed ? freeBytesErrorText : nullptr;
}

void platformTimeBeginPeriod(uint32_t) {}
void platformTimeEndPeriod(uint32_t) {}

uint32_t platformTimeGetTime()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

uint64_t platformMonotonicNs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void platformSleepUntilNs(uint64_t deadlineNs)
{
    struct timespec deadline;
    deadline.tv_sec = static_cast<time_t>(deadlineNs / 1000000000u);
    deadline.tv_nsec = static_cast<long>(deadlineNs % 1000000000u);
    // Restarted after a signal: the deadline stays the same.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

uint32_t platformRaiseOpenFileLimit(uint32_t wanted)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        // A privileged process may raise the hard limit too; others go up to it.
        struct rlimit raised = limit;
        raised.rlim_cur = wanted;
        if (raised.rlim_max != RLIM_INFINITY && raised.rlim_max < wanted) raised.rlim_max = wanted;
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
            raised = limit;
            raised.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_NOFILE, &raised);
        }
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > UINT32_MAX) return UINT32_MAX;
    return static_cast<uint32_t>(limit.rlim_cur);
}

void* platformAllocTransferBuffer(uint32_t size)
{
    void* buffer = nullptr;
    if (posix_memalign(&buffer, transferBufferAlignment, size) != 0) return nullptr;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    fillTransferPattern(buffer, size,
                        static_cast<uint32_t>(now.tv_nsec) ^ (static_cast<uint32_t>(getpid()) << 16) ^
                            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer) >> 12));
    return buffer;
}

void platformFreeTransferBuffer(void* buffer)
{
    std::free(buffer);
}
