// Linux backend: O_DIRECT files with an exclusive lock, statvfs, and a
// monotonic millisecond counter truncated to 32 bits like the Windows one;
// the storage under a folder from /proc/self/mountinfo and /sys/dev/block.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/transfer_pattern.h"

static char lastErrorText[PATH_MAX + 320];  // room for a folder's name and the reason
static char freeBytesErrorText[400];
static bool freeBytesFailed;

// Handles are descriptors plus one, so that descriptor 0 is never the empty slot.
static int descriptorOf(TrackHandle file) { return static_cast<int>(file - 1); }
static TrackHandle handleOf(int fd) { return static_cast<TrackHandle>(fd) + 1; }

// The code of an errno from any call; opening a track file knows more (openStatus).
static IoError errorOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT: return ioDiskFull;
    case EIO:
    case ENXIO:
    case ENODEV: return ioDeviceError;
    case EROFS: return ioReadOnly;
    case EACCES:
    case EPERM: return ioAccessDenied;
    case ENOENT:
    case ENOTDIR: return ioNotFound;
    case EMFILE:
    case ENFILE: return ioTooManyOpenFiles;
    case ENOMEM: return ioNoMemory;
    case EFBIG: return ioFileTooLarge;
    case EISDIR: return ioNotRegularFile;
    case ETXTBSY:
    case EBUSY: return ioInUse;
    case ENAMETOOLONG: return ioNameTooLong;
    case EEXIST: return ioAlreadyExists;
    default: return ioOtherError;
    }
}

static IoStatus systemStatus(int error)
{
    return IoStatus{errorOf(error), static_cast<uint32_t>(error)};
}

// Opening without following links and without blocking: ELOOP is a link in
// the file's place, ENXIO a pipe or device without a reader; EWOULDBLOCK the
// lock another holds; EINVAL a file system that refuses O_DIRECT.
static IoStatus openStatus(int error, int flags)
{
    IoStatus status = systemStatus(error);
    if (error == ELOOP || error == ENXIO)
        status.error = ioNotRegularFile;
    else if (error == EWOULDBLOCK)
        status.error = ioInUse;
    else if (error == EINVAL && (flags & O_DIRECT) != 0)
        status.error = ioNoDirectIo;
    return status;
}

static const char* const lockAction = "lock the folder";

// The words of platformLastErrorText, made from the code: the system's own
// message unless the code says more than the number.
static void formatReason(IoStatus status, const char* action, char* text, size_t size)
{
    bool lock = action == lockAction;
    const char* reason = nullptr;
    if (status.error == ioNoDirectIo) {
        reason = "the file system does not support direct (unbuffered) I/O";
    } else if (status.error == ioNotRegularFile) {
        if (lock) {
            std::snprintf(text, size, "its %s is not a regular file", folderLockName);
            return;
        }
        if (status.systemCode == ELOOP)
            reason = "it is a symbolic link; track files must be regular files";
        else if (status.systemCode == ENXIO)
            reason = "not a regular file (a pipe or a device)";
        else if (status.systemCode == 0)
            reason = "not a regular file";
    } else if (status.error == ioInUse) {
        if (lock) {
            std::snprintf(text, size, "another program holds its lock (%s)", folderLockName);
            return;
        }
        if (status.systemCode == EWOULDBLOCK || status.systemCode == 0)
            reason = "another program holds the file open";
    }
    if (reason == nullptr)
        reason = status.systemCode != 0 ? std::strerror(static_cast<int>(status.systemCode))
                                        : "the system gave no reason";
    std::snprintf(text, size, "%s", reason);
}

// A failed call: why gets the status, platformLastErrorText its words
// ("cannot create: ..."), detail in place of the code's where given.
static void noteFailure(IoStatus status, const char* action, IoStatus* why,
                        const char* detail = nullptr)
{
    if (why != nullptr) *why = status;
    char reason[256];
    if (detail != nullptr)
        std::snprintf(reason, sizeof reason, "%s", detail);
    else
        formatReason(status, action, reason, sizeof reason);
    std::snprintf(lastErrorText, sizeof lastErrorText, "cannot %s: %s", action, reason);
}

static TrackHandle failWith(int fd, IoStatus status, const char* action, IoStatus* why)
{
    if (fd >= 0) close(fd);
    noteFailure(status, action, why);
    return invalidTrackHandle;
}

// Opens without following links and without blocking on a FIFO, then accepts
// only a regular file and takes the exclusive lock (no sharing).
static TrackHandle openRegularFile(const char* name, int flags, const char* action, IoStatus* why)
{
    int fd = open(name, flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return failWith(-1, openStatus(errno, flags), action, why);
    struct stat info;
    if (fstat(fd, &info) != 0) return failWith(fd, systemStatus(errno), action, why);
    if (!S_ISREG(info.st_mode)) return failWith(fd, IoStatus{ioNotRegularFile, 0}, action, why);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return failWith(fd, openStatus(errno, flags), action, why);
    int status = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return handleOf(fd);
}

static int cachingFlags(TrackCaching caching)
{
    return caching == bypassFileCache ? O_DIRECT : 0;
}

TrackHandle platformCreateTrackFile(const char* name, TrackCaching caching, IoStatus* why)
{
    // Truncated only once the lock is held: a file another trakmon holds is
    // never emptied (the lock is advisory: other programs are not kept out).
    TrackHandle file =
        openRegularFile(name, O_WRONLY | O_CREAT | cachingFlags(caching), "create", why);
    if (file == invalidTrackHandle) return file;
    if (ftruncate(descriptorOf(file), 0) != 0)
        return failWith(descriptorOf(file), systemStatus(errno), "create", why);
    return file;
}

TrackHandle platformOpenTrackFile(const char* name, TrackCaching caching, IoStatus* why)
{
    return openRegularFile(name, O_RDONLY | cachingFlags(caching), "open", why);
}

TrackHandle platformCreateTrackFile(const char* name, IoStatus* why)
{
    return platformCreateTrackFile(name, bypassFileCache, why);
}

TrackHandle platformOpenTrackFile(const char* name, IoStatus* why)
{
    return platformOpenTrackFile(name, bypassFileCache, why);
}

bool platformDropCachedPages(TrackHandle file)
{
    // Dirty pages cannot be dropped: written back first.
    int fd = descriptorOf(file);
    if (fdatasync(fd) != 0) return false;
    return posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
}

bool platformCanDropCachedPages()
{
    return true;
}

// True when the call succeeded (0); otherwise why gets errno's status.
static bool succeeded(int result, IoStatus* why)
{
    if (result == 0) return true;
    if (why != nullptr) *why = systemStatus(errno);
    return false;
}

bool platformStartWriteBack(TrackHandle file, IoStatus* why)
{
    return succeeded(sync_file_range(descriptorOf(file), 0, 0, SYNC_FILE_RANGE_WRITE), why);
}

bool platformWaitWriteBack(TrackHandle file, IoStatus* why)
{
    return succeeded(sync_file_range(descriptorOf(file), 0, 0,
                                     SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                         SYNC_FILE_RANGE_WAIT_AFTER),
                     why);
}

bool platformFinishWriteBack(TrackHandle file, IoStatus* why)
{
    return succeeded(fdatasync(descriptorOf(file)), why);
}

// A write that moved some bytes but not all returns no error: the system
// tells the cause only to the next write, and that would be one more
// request. The file system is asked instead, with no request to the disk
// (fstatvfs): too little room left for the rest of the request is a full
// disk. Anything else (a quota, a signal, a file size limit) stays a short
// transfer, said as such.
static IoStatus shortWriteStatus(int fd, uint32_t left)
{
    struct statvfs volume;
    if (fstatvfs(fd, &volume) == 0 && static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize < left)
        return IoStatus{ioDiskFull, 0};
    return IoStatus{ioShortTransfer, 0};
}

uint32_t platformWriteTrack(TrackHandle file, const void* buffer, uint32_t size, IoStatus* why)
{
    int fd = descriptorOf(file);
    ssize_t count = write(fd, buffer, size);
    if (count == static_cast<ssize_t>(size)) return size;
    if (count < 0) {
        if (why != nullptr) *why = systemStatus(errno);
        return 0;
    }
    if (why != nullptr) *why = shortWriteStatus(fd, size - static_cast<uint32_t>(count));
    return static_cast<uint32_t>(count);
}

uint32_t platformReadTrack(TrackHandle file, void* buffer, uint32_t size, IoStatus* why)
{
    ssize_t count = read(descriptorOf(file), buffer, size);
    if (count == static_cast<ssize_t>(size)) return size;
    // Fewer bytes without an error: the file ended (shortened since it was opened).
    if (why != nullptr) *why = count < 0 ? systemStatus(errno) : IoStatus{ioShortTransfer, 0};
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

bool platformCloseTrack(TrackHandle file, IoStatus* why)
{
    if (file == invalidTrackHandle || file == emptyTrackSlot) return true;
    return succeeded(close(descriptorOf(file)), why);
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

bool platformMakeFolder(const char* path, IoStatus* why)
{
    if (mkdir(path, 0755) == 0) return true;
    noteFailure(systemStatus(errno), "make the folder", why);
    return false;
}

bool platformRemoveFolder(const char* path)
{
    return rmdir(path) == 0;
}

bool platformListFolder(const char* folder,
                        void (*each)(void* context, const char* name, bool isFolder, uint64_t size),
                        void* context)
{
    DIR* listing = opendir(folder);
    if (listing == nullptr) return false;
    bool complete = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(listing);
        if (entry == nullptr) {
            complete = errno == 0;
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        struct stat info;
        if (fstatat(dirfd(listing), name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;  // removed since it was listed
            complete = false;
            break;
        }
        each(context, name, S_ISDIR(info.st_mode),
             S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0);
    }
    closedir(listing);
    return complete;
}

static bool lockFileName(const char* folder, char* name, size_t size)
{
    return std::snprintf(name, size, "%s/%s", folder, folderLockName) < static_cast<int>(size);
}

TrackHandle platformLockFolder(const char* folder, IoStatus* why)
{
    char name[PATH_MAX];
    if (!lockFileName(folder, name, sizeof name))
        return failWith(-1, systemStatus(ENAMETOOLONG), lockAction, why);
    // Tried again a little later: platformFolderLocked holds a shared lock
    // for an instant. A lock taken on a file its holder has just removed is
    // let go and taken on the file now in its place.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
        int fd = open(name, flags, 0644);
        if (fd < 0) return failWith(-1, openStatus(errno, flags), lockAction, why);
        struct stat held;
        if (fstat(fd, &held) != 0) return failWith(fd, systemStatus(errno), lockAction, why);
        if (!S_ISREG(held.st_mode))
            return failWith(fd, IoStatus{ioNotRegularFile, 0}, lockAction, why);
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int error = errno;
            if (error != EWOULDBLOCK || attempt >= 2)
                return failWith(fd, openStatus(error, flags), lockAction, why);
            close(fd);
            platformSleepUntilNs(platformMonotonicNs() + 2000000u);
            continue;
        }
        struct stat named;
        if (lstat(name, &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            return handleOf(fd);
        close(fd);
    }
    char detail[64];
    std::snprintf(detail, sizeof detail, "its %s keeps being replaced", folderLockName);
    noteFailure(IoStatus{ioInUse, 0}, lockAction, why, detail);
    return invalidTrackHandle;
}

bool platformFolderLocked(const char* folder)
{
    char name[PATH_MAX];
    if (!lockFileName(folder, name, sizeof name)) return false;
    int fd = open(name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // flock has no query: a shared lock is taken and let go at once.
    bool locked = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return locked;
}

bool platformUnlockFolder(TrackHandle lock, const char* folder)
{
    if (lock == invalidTrackHandle || lock == emptyTrackSlot) return true;
    // Removed while still held, so that no one takes the lock on a file about to go.
    char name[PATH_MAX];
    bool removed = lockFileName(folder, name, sizeof name) && unlink(name) == 0;
    bool closed = close(descriptorOf(lock)) == 0;
    return removed && closed;
}

// Cut to fit: the fields of StorageInfo are fixed.
static void copyText(char* text, size_t size, const char* from)
{
    size_t length = strnlen(from, size - 1);
    std::memcpy(text, from, length);
    text[length] = '\0';
}

// The first line of a small file (/sys, /proc), without its line end and
// trailing blanks; empty when it cannot be read.
static bool readFirstLine(const char* path, char* text, size_t size)
{
    text[0] = '\0';
    FILE* file = std::fopen(path, "re");
    if (file == nullptr) return false;
    bool read = std::fgets(text, static_cast<int>(size), file) != nullptr;
    std::fclose(file);
    if (!read) text[0] = '\0';
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == ' ')) text[--length] = '\0';
    return read;
}

bool platformDeviceWrittenBytes(const StorageInfo& info, uint64_t& bytes)
{
    if (info.counter[0] == '\0') return false;
    char line[512];
    unsigned long long sectors = 0;
    // The seventh field: sectors written, always of 512 bytes.
    if (!readFirstLine(info.counter, line, sizeof line) ||
        std::sscanf(line, "%*u %*u %*u %*u %*u %*u %llu", &sectors) != 1)
        return false;
    bytes = static_cast<uint64_t>(sectors) * 512u;
    return true;
}

// Names in /proc/self/mountinfo write a space, tab, newline and backslash
// as \040, \011, \012 and \134.
static void decodeMountName(const char* field, char* text, size_t size)
{
    size_t length = 0;
    while (*field != '\0' && length + 1 < size) {
        if (field[0] == '\\' && field[1] >= '0' && field[1] <= '3' && field[2] >= '0' &&
            field[2] <= '7' && field[3] >= '0' && field[3] <= '7') {
            text[length++] =
                static_cast<char>((field[1] - '0') * 64 + (field[2] - '0') * 8 + (field[3] - '0'));
            field += 4;
        } else {
            text[length++] = *field++;
        }
    }
    text[length] = '\0';
}

struct MountEntry {
    unsigned major = 0, minor = 0;
    char mountPoint[512] = "";
    char options[512] = "";
    char fileSystem[32] = "";
    char source[512] = "";
    char superOptions[512] = "";
};

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
static bool parseMountLine(char* line, MountEntry& entry)
{
    char* save = nullptr;
    char* fields[6];
    for (int i = 0; i < 6; ++i) {
        fields[i] = strtok_r(i == 0 ? line : nullptr, " \n", &save);
        if (fields[i] == nullptr) return false;
    }
    if (std::sscanf(fields[2], "%u:%u", &entry.major, &entry.minor) != 2) return false;
    decodeMountName(fields[4], entry.mountPoint, sizeof entry.mountPoint);
    std::snprintf(entry.options, sizeof entry.options, "%s", fields[5]);
    char* field = nullptr;
    while ((field = strtok_r(nullptr, " \n", &save)) != nullptr && std::strcmp(field, "-") != 0) {
    }
    char* fileSystem = strtok_r(nullptr, " \n", &save);
    char* source = strtok_r(nullptr, " \n", &save);
    char* superOptions = strtok_r(nullptr, " \n", &save);
    if (field == nullptr || fileSystem == nullptr || source == nullptr) return false;
    std::snprintf(entry.fileSystem, sizeof entry.fileSystem, "%s", fileSystem);
    decodeMountName(source, entry.source, sizeof entry.source);
    std::snprintf(entry.superOptions, sizeof entry.superOptions, "%s",
                  superOptions != nullptr ? superOptions : "");
    return true;
}

static bool listHasOption(const char* list, const char* option)
{
    size_t length = std::strlen(option);
    for (const char* at = list; (at = std::strstr(at, option)) != nullptr; at += length)
        if ((at == list || at[-1] == ',') && (at[length] == ',' || at[length] == '\0')) return true;
    return false;
}

// The mount's options, then those of the file system's own not said already.
static void mergeOptions(const MountEntry& entry, char* text, size_t size)
{
    std::snprintf(text, size, "%s", entry.options);
    char superOptions[sizeof entry.superOptions];
    std::snprintf(superOptions, sizeof superOptions, "%s", entry.superOptions);
    char* save = nullptr;
    for (char* option = strtok_r(superOptions, ",", &save); option != nullptr;
         option = strtok_r(nullptr, ",", &save)) {
        size_t used = std::strlen(text);
        if (!listHasOption(text, option) && used + 1 + std::strlen(option) < size)
            std::snprintf(text + used, size - used, "%s%s", used > 0 ? "," : "", option);
    }
}

// The mount that holds the path: the longest mount point above it among the
// mounts of its device; the last of equals is the one on top.
static bool findMount(const char* path, dev_t device, MountEntry& found)
{
    FILE* mounts = std::fopen("/proc/self/mountinfo", "re");
    if (mounts == nullptr) return false;
    char* line = nullptr;
    size_t capacity = 0;
    size_t bestLength = 0;
    bool any = false;
    while (getline(&line, &capacity, mounts) > 0) {
        MountEntry entry;
        if (!parseMountLine(line, entry) || entry.major != major(device) || entry.minor != minor(device))
            continue;
        size_t length = std::strlen(entry.mountPoint);
        bool above = std::strcmp(entry.mountPoint, "/") == 0 ||
                     (std::strncmp(path, entry.mountPoint, length) == 0 &&
                      (path[length] == '/' || path[length] == '\0'));
        if (above && (!any || length >= bestLength)) {
            found = entry;
            bestLength = length;
            any = true;
        }
    }
    std::free(line);
    std::fclose(mounts);
    return any;
}

// Name, model, driver, loop backing file and counter of a block device.
static void describeBlockDevice(dev_t device, StorageInfo& info)
{
    char folder[64];
    std::snprintf(folder, sizeof folder, "/sys/dev/block/%u:%u", major(device), minor(device));
    char path[PATH_MAX + 32];
    char line[PATH_MAX];
    std::snprintf(path, sizeof path, "%s/uevent", folder);
    FILE* uevent = std::fopen(path, "re");
    if (uevent == nullptr) return;
    while (std::fgets(line, sizeof line, uevent) != nullptr) {
        if (std::strncmp(line, "DEVNAME=", 8) != 0) continue;
        line[std::strcspn(line, "\n")] = '\0';
        std::memcpy(line + 3, "/dev/", 5);  // over "DEVNAME="'s tail
        copyText(info.device, sizeof info.device, line + 3);
    }
    std::fclose(uevent);

    // A partition has no model or driver of its own: its disk's are given.
    char disk[PATH_MAX];
    std::snprintf(path, sizeof path, "%s/partition", folder);
    std::snprintf(path, sizeof path, access(path, F_OK) == 0 ? "%s/.." : "%s", folder);
    if (realpath(path, disk) == nullptr) std::snprintf(disk, sizeof disk, "%s", folder);
    std::snprintf(path, sizeof path, "%s/device/model", disk);
    readFirstLine(path, info.model, sizeof info.model);
    std::snprintf(path, sizeof path, "%s/device/driver", disk);
    ssize_t length = readlink(path, line, sizeof line - 1);
    if (length > 0) {
        line[length] = '\0';
        const char* slash = std::strrchr(line, '/');
        copyText(info.driver, sizeof info.driver, slash != nullptr ? slash + 1 : line);
    }
    std::snprintf(path, sizeof path, "%s/loop/backing_file", disk);
    readFirstLine(path, info.backingFile, sizeof info.backingFile);

    std::snprintf(info.counter, sizeof info.counter, "%s/stat", folder);
    uint64_t bytes = 0;
    info.writtenBytesReadable = platformDeviceWrittenBytes(info, bytes);
}

bool platformDescribeStorage(const char* folder, StorageInfo& info, IoStatus* why)
{
    info = StorageInfo();
    char action[PATH_MAX + 32];
    std::snprintf(action, sizeof action, "describe the storage of %s", folder);
    struct stat where;
    char path[PATH_MAX];
    if (stat(folder, &where) != 0 || realpath(folder, path) == nullptr) {
        noteFailure(systemStatus(errno), action, why);
        return false;
    }
    MountEntry mount;
    if (!findMount(path, where.st_dev, mount)) {
        char detail[96];
        std::snprintf(detail, sizeof detail,
                      "no mount of device %u:%u above it in /proc/self/mountinfo",
                      major(where.st_dev), minor(where.st_dev));
        noteFailure(IoStatus{ioNotFound, 0}, action, why, detail);
        return false;
    }
    copyText(info.fileSystem, sizeof info.fileSystem, mount.fileSystem);
    copyText(info.mountPoint, sizeof info.mountPoint, mount.mountPoint);
    mergeOptions(mount, info.mountOptions, sizeof info.mountOptions);

    // Major 0 is an anonymous device (tmpfs, FUSE, overlay, NFS, and btrfs,
    // whose disk is then the mount's source where that is a block device).
    dev_t device = where.st_dev;
    if (major(device) == 0) {
        struct stat source;
        device = mount.source[0] == '/' && stat(mount.source, &source) == 0 && S_ISBLK(source.st_mode)
                     ? source.st_rdev
                     : 0;
    }
    if (device != 0) describeBlockDevice(device, info);
    return true;
}

const char* platformLastErrorText()
{
    return lastErrorText;
}

void platformSystemMessage(uint32_t systemCode, char* text, uint32_t size)
{
    if (size == 0) return;
    std::snprintf(text, size, "%s", std::strerror(static_cast<int>(systemCode)));
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
