// Windows backend: unbuffered, unshared track files through CreateFileA, the
// free space of the drive, the multimedia timer's millisecond counter and
// sector-aligned transfer buffers from GlobalAlloc.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/transfer_pattern.h"

static const DWORD trackFileFlags = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;  // 0x20000080
static const DWORD cachedTrackFileFlags = FILE_ATTRIBUTE_NORMAL;

static DWORD flagsFor(TrackCaching caching)
{
    return caching == bypassFileCache ? trackFileFlags : cachedTrackFileFlags;
}

static char lastErrorText[320];
static DWORD lastError;
static const char* lastAction = "open";
static const char* lastRefusal;  // why a name was refused as a track file; null when the system failed

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
static bool refuseReparsePoint(const char* name, const char* action)
{
    lastAction = action;
    lastRefusal = nullptr;
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return false;
    lastRefusal = "it is a symbolic link or junction; track files must be regular files";
    return true;
}

// Only files on a disk are track files: a device name such as NUL or CON
// would swallow or refuse the data and still look like a test.
static TrackHandle acceptDiskFile(HANDLE file)
{
    if (file == INVALID_HANDLE_VALUE) {
        lastError = GetLastError();
        return invalidTrackHandle;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        lastRefusal = "not a file on a disk";
        return invalidTrackHandle;
    }
    return handleOf(file);
}

TrackHandle platformCreateTrackFile(const char* name, TrackCaching caching)
{
    if (refuseReparsePoint(name, "create")) return invalidTrackHandle;
    HANDLE file =
        CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flagsFor(caching), nullptr);
    return acceptDiskFile(file);
}

TrackHandle platformOpenTrackFile(const char* name, TrackCaching caching)
{
    if (refuseReparsePoint(name, "open")) return invalidTrackHandle;
    HANDLE file =
        CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, flagsFor(caching), nullptr);
    return acceptDiskFile(file);
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
    return false;
}

bool platformDropCachedPages(TrackHandle)
{
    // Windows has no call that drops one file's cached pages; a file that
    // bypasses the cache has none.
    return false;
}

uint32_t platformWriteTrack(TrackHandle file, const void* buffer, uint32_t size)
{
    DWORD count = 0;
    if (!WriteFile(fileOf(file), buffer, size, &count, nullptr)) return 0;
    return count;
}

uint32_t platformReadTrack(TrackHandle file, void* buffer, uint32_t size)
{
    DWORD count = 0;
    if (!ReadFile(fileOf(file), buffer, size, &count, nullptr)) return 0;
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

bool platformCloseTrack(TrackHandle file)
{
    if (file == invalidTrackHandle || file == emptyTrackSlot) return true;
    return CloseHandle(fileOf(file)) != 0;
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

bool platformMakeFolder(const char* path)
{
    lastAction = "make the folder";
    lastRefusal = nullptr;
    if (CreateDirectoryA(path, nullptr)) return true;
    lastError = GetLastError();
    return false;
}

bool platformRemoveFolder(const char* path)
{
    return RemoveDirectoryA(path) != 0;
}

const char* platformLastErrorText()
{
    if (lastRefusal != nullptr) {
        std::snprintf(lastErrorText, sizeof lastErrorText, "cannot %s: %s", lastAction, lastRefusal);
        return lastErrorText;
    }
    char reason[256];
    systemErrorText(lastError, reason, sizeof reason);
    std::snprintf(lastErrorText, sizeof lastErrorText, "cannot %s: %s", lastAction, reason);
    return lastErrorText;
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
