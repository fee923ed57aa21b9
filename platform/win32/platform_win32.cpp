// Windows backend: unbuffered, unshared track files through CreateFileA, the
// free space of the drive, the multimedia timer's millisecond counter,
// sector-aligned transfer buffers from GlobalAlloc, and the volume under a
// folder with its device's own counters (DeviceIoControl).
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/platform.h"
#include "platform/transfer_pattern.h"

static const DWORD trackFileFlags = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;  // 0x20000080
static const DWORD cachedTrackFileFlags = FILE_ATTRIBUTE_NORMAL;

static DWORD flagsFor(TrackCaching caching)
{
    return caching == bypassFileCache ? trackFileFlags : cachedTrackFileFlags;
}

static char lastErrorText[320];
// The last failure platformLastErrorText tells: its action and status, and
// the words of a refusal of this layer's own (null when the system failed).
static const char* lastAction = "open";
static IoStatus lastStatus;
static const char* lastRefusal;

// ERROR_DISK_QUOTA_EXCEEDED, which MinGW-w64's headers lack.
static const DWORD diskQuotaExceeded = 1295;

// The code of a system error.
static IoError errorOf(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case diskQuotaExceeded: return ioDiskFull;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_SEEK:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_INVALID: return ioDeviceError;
    case ERROR_WRITE_PROTECT: return ioReadOnly;
    case ERROR_ACCESS_DENIED: return ioAccessDenied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ioNotFound;
    case ERROR_TOO_MANY_OPEN_FILES: return ioTooManyOpenFiles;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES: return ioNoMemory;
    case ERROR_FILE_TOO_LARGE: return ioFileTooLarge;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return ioInUse;
    case ERROR_FILENAME_EXCED_RANGE: return ioNameTooLong;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return ioAlreadyExists;
    default: return ioOtherError;
    }
}

static IoStatus systemStatus(DWORD error)
{
    return IoStatus{errorOf(error), static_cast<uint32_t>(error)};
}

// A failed call: why gets the status; platformLastErrorText says it later,
// in the system's words for its number or in the refusal's.
static void noteFailure(IoStatus status, const char* action, IoStatus* why,
                        const char* refusal = nullptr)
{
    lastAction = action;
    lastStatus = status;
    lastRefusal = refusal;
    if (why != nullptr) *why = status;
}

// True when the call succeeded; otherwise why gets the system's status.
static bool succeeded(BOOL result, IoStatus* why)
{
    if (result) return true;
    if (why != nullptr) *why = systemStatus(GetLastError());
    return false;
}

static TrackHandle handleOf(HANDLE file)
{
    return file == INVALID_HANDLE_VALUE ? invalidTrackHandle : reinterpret_cast<TrackHandle>(file);
}

static HANDLE fileOf(TrackHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

// A symbolic link or junction in a track file's place is refused before it
// is opened: CreateFileA would follow it and write through to its target
// (GetFileType reports the target, a disk file).
static bool refuseReparsePoint(const char* name, const char* action, IoStatus* why)
{
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return false;
    noteFailure(IoStatus{ioNotRegularFile, 0}, action, why,
                "it is a symbolic link or junction; track files must be regular files");
    return true;
}

// Only files on a disk are track files: a device name such as NUL or CON
// would swallow or refuse the data and still look like a test.
static TrackHandle acceptDiskFile(HANDLE file, const char* action, IoStatus* why)
{
    if (file == INVALID_HANDLE_VALUE) {
        noteFailure(systemStatus(GetLastError()), action, why);
        return invalidTrackHandle;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        noteFailure(IoStatus{ioNotRegularFile, 0}, action, why, "not a file on a disk");
        return invalidTrackHandle;
    }
    return handleOf(file);
}

TrackHandle platformCreateTrackFile(const char* name, TrackCaching caching, IoStatus* why)
{
    if (refuseReparsePoint(name, "create", why)) return invalidTrackHandle;
    HANDLE file =
        CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flagsFor(caching), nullptr);
    return acceptDiskFile(file, "create", why);
}

TrackHandle platformOpenTrackFile(const char* name, TrackCaching caching, IoStatus* why)
{
    if (refuseReparsePoint(name, "open", why)) return invalidTrackHandle;
    HANDLE file =
        CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, flagsFor(caching), nullptr);
    return acceptDiskFile(file, "open", why);
}

TrackHandle platformCreateTrackFile(const char* name, IoStatus* why)
{
    return platformCreateTrackFile(name, bypassFileCache, why);
}

TrackHandle platformOpenTrackFile(const char* name, IoStatus* why)
{
    return platformOpenTrackFile(name, bypassFileCache, why);
}

bool platformDropCachedPages(TrackHandle)
{
    // Windows has no call that drops one file's cached pages; a file that
    // bypasses the cache has none.
    return false;
}

bool platformCanDropCachedPages()
{
    return false;
}

bool platformStartWriteBack(TrackHandle, IoStatus*)
{
    // No call starts a file's write-back without waiting for it:
    // FlushFileBuffers does both.
    return true;
}

bool platformWaitWriteBack(TrackHandle file, IoStatus* why)
{
    return succeeded(FlushFileBuffers(fileOf(file)), why);
}

bool platformFinishWriteBack(TrackHandle, IoStatus*)
{
    // FlushFileBuffers made it durable, its metadata too.
    return true;
}

// A transfer that succeeded with fewer bytes than asked (the end of the
// file) has no system error to tell: a short transfer.
uint32_t platformWriteTrack(TrackHandle file, const void* buffer, uint32_t size, IoStatus* why)
{
    DWORD count = 0;
    if (!WriteFile(fileOf(file), buffer, size, &count, nullptr)) {
        if (why != nullptr) *why = systemStatus(GetLastError());
        return 0;
    }
    if (count != size && why != nullptr) *why = IoStatus{ioShortTransfer, 0};
    return count;
}

uint32_t platformReadTrack(TrackHandle file, void* buffer, uint32_t size, IoStatus* why)
{
    DWORD count = 0;
    if (!ReadFile(fileOf(file), buffer, size, &count, nullptr)) {
        if (why != nullptr) *why = systemStatus(GetLastError());
        return 0;
    }
    if (count != size && why != nullptr) *why = IoStatus{ioShortTransfer, 0};
    return count;
}

uint64_t platformSeekTrackEnd(TrackHandle file)
{
    LONG high = 0;
    DWORD low = SetFilePointer(fileOf(file), 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return 0;
    return (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
}

void platformRewindTrack(TrackHandle file)
{
    SetFilePointer(fileOf(file), 0, nullptr, FILE_BEGIN);
}

bool platformCloseTrack(TrackHandle file, IoStatus* why)
{
    if (file == invalidTrackHandle || file == emptyTrackSlot) return true;
    return succeeded(CloseHandle(fileOf(file)), why);
}

// The system's words for an error code, without the closing period.
static void systemErrorText(DWORD error, char* reason, DWORD size)
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reason, size, nullptr);
    while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r' ||
                          reason[length - 1] == ' ' || reason[length - 1] == '.'))
        --length;
    reason[length] = '\0';
    if (length == 0)
        std::snprintf(reason, size, "system error %lu", static_cast<unsigned long>(error));
}

bool platformFileSize(const char* name, uint64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool platformRemoveTrackFile(const char* name)
{
    return DeleteFileA(name) != 0;
}

bool platformMakeFolder(const char* path, IoStatus* why)
{
    if (CreateDirectoryA(path, nullptr)) return true;
    noteFailure(systemStatus(GetLastError()), "make the folder", why);
    return false;
}

bool platformRemoveFolder(const char* path)
{
    return RemoveDirectoryA(path) != 0;
}

bool platformListFolder(const char* folder,
                        void (*each)(void* context, const char* name, bool isFolder, uint64_t size),
                        void* context)
{
    char pattern[MAX_PATH + 8];
    size_t length = std::strlen(folder);
    bool separated = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
    if (std::snprintf(pattern, sizeof pattern, "%s%s*", folder, separated ? "" : "\\") >=
        static_cast<int>(sizeof pattern))
        return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    // An empty drive's root has not even "." and "..".
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        bool isFolder = !link && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        each(context, found.cFileName, isFolder, link || isFolder ? 0 : size);
    } while (FindNextFileA(search, &found));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

static bool lockFileName(const char* folder, char* name, size_t size)
{
    size_t length = std::strlen(folder);
    bool separated = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
    return std::snprintf(name, size, "%s%s%s", folder, separated ? "" : "\\", folderLockName) <
           static_cast<int>(size);
}

TrackHandle platformLockFolder(const char* folder, IoStatus* why)
{
    static char heldElsewhere[80];
    std::snprintf(heldElsewhere, sizeof heldElsewhere, "another program holds its lock (%s)",
                  folderLockName);
    const char* action = "lock the folder";
    char name[MAX_PATH + 32];
    if (!lockFileName(folder, name, sizeof name)) {
        noteFailure(systemStatus(ERROR_FILENAME_EXCED_RANGE), action, why);
        return invalidTrackHandle;
    }
    // Deleted by the system when the handle closes, also when the process
    // ends; a link in its place is opened itself, never its target. Tried
    // again a little later: platformFolderLocked opens the file for an
    // instant, and a file whose holder has just closed it is gone only once
    // such a check has closed it too.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) Sleep(2);
        HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE |
                                      FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE) return acceptDiskFile(file, action, why);
        error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) break;
    }
    noteFailure(systemStatus(error), action, why,
                error == ERROR_SHARING_VIOLATION ? heldElsewhere : nullptr);
    return invalidTrackHandle;
}

bool platformFolderLocked(const char* folder)
{
    char name[MAX_PATH + 32];
    if (!lockFileName(folder, name, sizeof name)) return false;
    // Any open that reads conflicts with the holder's sharing mode 0.
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

bool platformUnlockFolder(TrackHandle lock, const char*)
{
    if (lock == invalidTrackHandle || lock == emptyTrackSlot) return true;
    // The lock file goes with the handle (FILE_FLAG_DELETE_ON_CLOSE).
    return CloseHandle(fileOf(lock)) != 0;
}

// Cut to fit: the fields of StorageInfo are fixed.
static void copyText(char* text, size_t size, const char* from, size_t length)
{
    while (length > 0 && from[length - 1] == ' ') --length;
    if (length > size - 1) length = size - 1;
    std::memcpy(text, from, length);
    text[length] = '\0';
}

static HANDLE openVolume(const char* device)
{
    // No access asked: the queries below need none, and need no administrator.
    return CreateFileA(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool platformDeviceWrittenBytes(const StorageInfo& info, uint64_t& bytes)
{
    if (info.device[0] == '\0') return false;
    HANDLE volume = openVolume(info.device);
    if (volume == INVALID_HANDLE_VALUE) return false;
    DISK_PERFORMANCE performance;
    DWORD returned = 0;
    bool read = DeviceIoControl(volume, IOCTL_DISK_PERFORMANCE, nullptr, 0, &performance,
                                sizeof performance, &returned, nullptr) != 0 &&
                returned >= sizeof performance;
    CloseHandle(volume);
    if (read) bytes = static_cast<uint64_t>(performance.BytesWritten.QuadPart);
    return read;
}

// The vendor and product the device reports, where the volume passes the query on.
static void describeModel(HANDLE volume, StorageInfo& info)
{
    STORAGE_PROPERTY_QUERY query;
    std::memset(&query, 0, sizeof query);
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    union {
        STORAGE_DEVICE_DESCRIPTOR descriptor;
        char bytes[1024];
    } answer;
    std::memset(&answer, 0, sizeof answer);
    DWORD returned = 0;
    if (!DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &answer,
                         sizeof answer, &returned, nullptr) ||
        returned < sizeof answer.descriptor)
        return;
    char model[sizeof info.model] = "";
    for (DWORD offset : {answer.descriptor.VendorIdOffset, answer.descriptor.ProductIdOffset}) {
        if (offset == 0 || offset >= returned) continue;
        const char* text = answer.bytes + offset;
        size_t length = strnlen(text, returned - offset);
        while (length > 0 && *text == ' ') {
            ++text;
            --length;
        }
        size_t used = std::strlen(model);
        if (used > 0 && used + 1 < sizeof model) model[used++] = ' ';
        copyText(model + used, sizeof model - used, text, length);
    }
    copyText(info.model, sizeof info.model, model, std::strlen(model));
}

bool platformDescribeStorage(const char* folder, StorageInfo& info, IoStatus* why)
{
    info = StorageInfo();
    char volume[MAX_PATH + 1];
    char fileSystem[MAX_PATH + 1] = "";
    if (!GetVolumePathNameA(folder, volume, sizeof volume) ||
        !GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                               sizeof fileSystem)) {
        noteFailure(systemStatus(GetLastError()), "describe the storage", why);
        return false;
    }
    copyText(info.fileSystem, sizeof info.fileSystem, fileSystem, std::strlen(fileSystem));
    copyText(info.mountPoint, sizeof info.mountPoint, volume, std::strlen(volume));

    // A network share has no device here. A drive's device is \\.\C:, a
    // volume mounted in a folder is \\?\Volume{...}.
    bool unc = volume[0] == '\\' && volume[1] == '\\' && volume[2] != '?';
    if (unc || GetDriveTypeA(volume) == DRIVE_REMOTE) return true;
    if (volume[0] != '\0' && volume[1] == ':') {
        std::snprintf(info.device, sizeof info.device, "\\\\.\\%c:", volume[0]);
    } else {
        char name[MAX_PATH + 1];
        if (!GetVolumeNameForVolumeMountPointA(volume, name, sizeof name)) return true;
        size_t length = std::strlen(name);
        if (length > 0 && name[length - 1] == '\\') --length;
        copyText(info.device, sizeof info.device, name, length);
    }
    HANDLE device = openVolume(info.device);
    if (device != INVALID_HANDLE_VALUE) {
        describeModel(device, info);
        CloseHandle(device);
    }
    std::snprintf(info.counter, sizeof info.counter, "IOCTL_DISK_PERFORMANCE %s", info.device);
    uint64_t bytes = 0;
    info.writtenBytesReadable = platformDeviceWrittenBytes(info, bytes);
    return true;
}

const char* platformLastErrorText()
{
    if (lastRefusal != nullptr) {
        std::snprintf(lastErrorText, sizeof lastErrorText, "cannot %s: %s", lastAction, lastRefusal);
        return lastErrorText;
    }
    char reason[256];
    systemErrorText(lastStatus.systemCode, reason, sizeof reason);
    std::snprintf(lastErrorText, sizeof lastErrorText, "cannot %s: %s", lastAction, reason);
    return lastErrorText;
}

void platformSystemMessage(uint32_t systemCode, char* text, uint32_t size)
{
    if (size > 0) systemErrorText(systemCode, text, size);
}

// The root of the drive queried last; its letter is replaced before each query.
static char freeSpaceRoot[] = "C:\\";
static char freeBytesErrorText[MAX_PATH + 300];
static bool freeBytesFailed;

// Free bytes available to this process in the folder that holds path, for
// paths that name no drive (\\server\share\take.wav, or a relative name).
static uint64_t folderFreeBytes(const char* path)
{
    char folder[MAX_PATH + 8];
    std::snprintf(folder, sizeof folder, "%s", path);
    char* lastSeparator = nullptr;
    for (char* c = folder; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/') lastSeparator = c;
    ULARGE_INTEGER available;
    BOOL ok;
    if (lastSeparator == nullptr) {
        ok = GetDiskFreeSpaceExA(nullptr, &available, nullptr, nullptr);
    } else {
        lastSeparator[1] = '\0';
        ok = GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr);
    }
    freeBytesFailed = !ok;
    if (ok) return available.QuadPart;
    char reason[256];
    systemErrorText(GetLastError(), reason, sizeof reason);
    std::snprintf(freeBytesErrorText, sizeof freeBytesErrorText,
                  "cannot query the free space of %s: %s",
                  lastSeparator == nullptr ? "the current folder" : folder, reason);
    return 0;
}

uint64_t platformFreeBytes(const char* path)
{
    // Only "X:..." names a drive by its first character; anything else would
    // ask about whatever drive happens to carry that letter.
    if (path[0] != '\0' && path[1] == ':') {
        freeSpaceRoot[0] = path[0];
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
        if (GetDiskFreeSpaceA(freeSpaceRoot, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                              &totalClusters)) {
            freeBytesFailed = false;
            return static_cast<uint64_t>(sectorsPerCluster * bytesPerSector) * freeClusters;
        }
    }
    return folderFreeBytes(path);
}

const char* platformFreeBytesError()
{
    return freeBytesFailed ? freeBytesErrorText : nullptr;
}

void platformTimeBeginPeriod(uint32_t periodMs)
{
    timeBeginPeriod(periodMs);
}

uint32_t platformTimeGetTime()
{
    return timeGetTime();
}

void platformTimeEndPeriod(uint32_t periodMs)
{
    timeEndPeriod(periodMs);
}

uint64_t platformMonotonicNs()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
    uint64_t perSecond = static_cast<uint64_t>(frequency.QuadPart);
    // In two parts, so that the product cannot overflow.
    return ticks / perSecond * 1000000000u + ticks % perSecond * 1000000000u / perSecond;
}

void platformSleepUntilNs(uint64_t deadlineNs)
{
    // Sleep counts whole milliseconds of the timer period (1 ms when the
    // caller asked for it with platformTimeBeginPeriod): sleep to within a
    // millisecond, then yield until the deadline.
    for (;;) {
        uint64_t now = platformMonotonicNs();
        if (now >= deadlineNs) return;
        uint64_t leftMs = (deadlineNs - now) / 1000000u;
        Sleep(leftMs > 1 ? static_cast<DWORD>(leftMs - 1) : 0);
    }
}

uint32_t platformRaiseOpenFileLimit(uint32_t wanted)
{
    // Kernel handles have no per-process limit that a session could reach.
    return wanted;
}

// GlobalAlloc's fixed blocks are only 8-byte aligned, and unbuffered transfers
// need sector alignment: the block is one alignment larger than asked, the
// buffer starts at the first aligned address past a stored pointer to the
// block, and that pointer is what GlobalFree gets back.
void* platformAllocTransferBuffer(uint32_t size)
{
    if (size > UINT32_MAX - transferBufferAlignment) return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(size) + transferBufferAlignment);
    if (block == nullptr) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(block);
    uintptr_t aligned = (start + sizeof(HGLOBAL) + transferBufferAlignment - 1) &
                        ~static_cast<uintptr_t>(transferBufferAlignment - 1);
    reinterpret_cast<HGLOBAL*>(aligned)[-1] = block;
    void* buffer = reinterpret_cast<void*>(aligned);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    fillTransferPattern(buffer, size,
                        static_cast<uint32_t>(now.LowPart) ^ (GetCurrentProcessId() << 16) ^
                            static_cast<uint32_t>(aligned >> 12));
    return buffer;
}

void platformFreeTransferBuffer(void* buffer)
{
    if (buffer == nullptr) return;
    GlobalFree(static_cast<HGLOBAL*>(buffer)[-1]);
}
