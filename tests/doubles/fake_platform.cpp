#include "tests/doubles/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

FakeScript fakeScript;
FakeLog fakeLog;
std::map<std::string, FakeFile> fakeFiles;

namespace {

struct OpenFile {
    std::string name;
    uint64_t position = 0;
    bool open = false;
    bool cached = false;  // written through the file cache
};
std::vector<OpenFile> handles;  // handle h is handles[h - 1]
uint32_t createCalls = 0;
uint32_t openCalls = 0;
uint32_t transferCalls = 0;
uint32_t closeCalls = 0;
size_t clockIndex = 0;
uint32_t startWriteBackCalls = 0;
uint32_t finishWriteBackCalls = 0;
bool backlog = false;        // cached writes since the last flush
uint64_t flushedBytes = 0;   // what the flushes have drained

TrackHandle addHandle(const std::string& name)
{
    OpenFile file;
    file.name = name;
    file.open = true;
    handles.push_back(file);
    ++fakeLog.openHandles;
    return static_cast<TrackHandle>(handles.size());
}

void shareEvent(const std::string& event)
{
    if (fakeLog.sharedEvents != nullptr) fakeLog.sharedEvents->push_back(event);
}

OpenFile& fileOf(TrackHandle handle)
{
    return handles.at(static_cast<size_t>(handle - 1));
}

// A scripted failure: false, with its status in why.
bool fail(IoStatus* why, IoStatus status = fakeScript.failureWhy)
{
    if (why != nullptr) *why = status;
    return false;
}

// The scripted short request, if this is it; otherwise the full size.
uint32_t transferCount(TrackHandle handle, uint32_t size, IoStatus* why)
{
    ++transferCalls;
    fakeLog.transferOrder.push_back(fileOf(handle).name);
    auto scripted = fakeScript.requestNsAt.find(transferCalls);
    fakeLog.nowNs += scripted != fakeScript.requestNsAt.end() ? scripted->second : fakeScript.requestNs;
    if (transferCalls != fakeScript.shortTransferAt) return size;
    fail(why);
    return fakeScript.shortTransferBytes;
}

}  // namespace

void resetFakePlatform()
{
    fakeScript = FakeScript();
    fakeLog = FakeLog();
    fakeFiles.clear();
    handles.clear();
    createCalls = openCalls = transferCalls = closeCalls = 0;
    clockIndex = 0;
    startWriteBackCalls = finishWriteBackCalls = 0;
    backlog = false;
    flushedBytes = 0;
}

StorageInfo fakeStorageInfo()
{
    StorageInfo info = StorageInfo();
    std::snprintf(info.device, sizeof info.device, "/dev/fake0");
    std::snprintf(info.model, sizeof info.model, "Fake Disk");
    std::snprintf(info.fileSystem, sizeof info.fileSystem, "fakefs");
    std::snprintf(info.mountPoint, sizeof info.mountPoint, "/");
    std::snprintf(info.mountOptions, sizeof info.mountOptions, "rw");
    std::snprintf(info.counter, sizeof info.counter, "the fake device's counter");
    info.writtenBytesReadable = true;
    return info;
}

TrackHandle platformCreateTrackFile(const char* name, IoStatus* why)
{
    if (++createCalls == fakeScript.failCreateAt) {
        fail(why);
        return invalidTrackHandle;
    }
    fakeLog.created.push_back(name);
    fakeFiles[name].size = 0;
    return addHandle(name);
}

TrackHandle platformOpenTrackFile(const char* name, IoStatus* why)
{
    if (++openCalls == fakeScript.failOpenAt) {
        fail(why);
        return invalidTrackHandle;
    }
    if (fakeFiles.count(name) == 0) {
        fail(why, IoStatus{ioNotFound, 2});
        return invalidTrackHandle;
    }
    fakeLog.opened.push_back(name);
    return addHandle(name);
}

TrackHandle platformCreateTrackFile(const char* name, TrackCaching caching, IoStatus* why)
{
    TrackHandle file = platformCreateTrackFile(name, why);
    if (file != invalidTrackHandle) fileOf(file).cached = caching == throughFileCache;
    return file;
}

TrackHandle platformOpenTrackFile(const char* name, TrackCaching, IoStatus* why)
{
    return platformOpenTrackFile(name, why);
}

bool platformDropCachedPages(TrackHandle)
{
    return true;
}

bool platformCanDropCachedPages()
{
    return fakeScript.canDropCachedPages;
}

bool platformStartWriteBack(TrackHandle handle, IoStatus* why)
{
    fakeLog.startedWriteBack.push_back(fileOf(handle).name);
    return ++startWriteBackCalls != fakeScript.failStartWriteBackAt || fail(why);
}

bool platformFinishWriteBack(TrackHandle handle, IoStatus* why)
{
    fakeLog.finishedWriteBack.push_back(fileOf(handle).name);
    return ++finishWriteBackCalls != fakeScript.failFinishWriteBackAt || fail(why);
}

bool platformWaitWriteBack(TrackHandle, IoStatus*)
{
    if (!backlog) return true;
    backlog = false;
    if (!fakeScript.flushes.empty()) {
        size_t k = std::min<size_t>(fakeLog.flushes, fakeScript.flushes.size() - 1);
        fakeLog.nowNs += fakeScript.flushes[k].ns;
        flushedBytes += fakeScript.flushes[k].bytes;
    }
    ++fakeLog.flushes;
    return true;
}

bool platformDescribeStorage(const char* folder, StorageInfo& info, IoStatus* why)
{
    fakeLog.describedFolder = folder;
    if (fakeScript.describeStorageFails) return fail(why);
    info = fakeScript.storage;
    return true;
}

bool platformDeviceWrittenBytes(const StorageInfo& info, uint64_t& bytes)
{
    if (info.device[0] == '\0' || !info.writtenBytesReadable) return false;
    // In two parts, so that the product cannot overflow.
    const uint64_t second = 1000000000u;
    uint64_t now = fakeLog.nowNs;
    bytes = fakeScript.deviceWrittenBytes + now / second * fakeScript.deviceBytesPerSecond +
            now % second * fakeScript.deviceBytesPerSecond / second + flushedBytes;
    return true;
}

bool platformListFolder(const char* folder,
                        void (*each)(void* context, const char* name, bool isFolder, uint64_t size),
                        void* context)
{
    if (fakeScript.listFolderFails) return false;
    // The fake disk's names below folder: a deeper name is a subfolder, told once.
    const std::string prefix = folder;
    std::set<std::string> subfolders;
    for (const auto& file : fakeFiles) {
        const std::string& name = file.first;
        if (name.size() <= prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0 ||
            (name[prefix.size()] != '/' && name[prefix.size()] != '\\'))
            continue;
        std::string rest = name.substr(prefix.size() + 1);
        size_t separator = rest.find_first_of("/\\");
        if (separator == std::string::npos)
            each(context, rest.c_str(), false, file.second.size);
        else if (subfolders.insert(rest.substr(0, separator)).second)
            each(context, rest.substr(0, separator).c_str(), true, 0);
    }
    return true;
}

static std::string lockFileOf(const char* folder)
{
    return std::string(folder) + "/" + folderLockName;
}

TrackHandle platformLockFolder(const char* folder, IoStatus* why)
{
    if (fakeScript.foldersLockedElsewhere.count(folder) != 0 ||
        !fakeLog.lockedFolders.insert(folder).second) {
        fail(why, IoStatus{ioInUse, 0});
        return invalidTrackHandle;
    }
    fakeFiles[lockFileOf(folder)].size = 0;
    return addHandle(lockFileOf(folder));
}

bool platformFolderLocked(const char* folder)
{
    return fakeScript.foldersLockedElsewhere.count(folder) != 0 || fakeLog.lockedFolders.count(folder) != 0;
}

bool platformUnlockFolder(TrackHandle lock, const char* folder)
{
    if (lock == invalidTrackHandle || lock == emptyTrackSlot) return true;
    OpenFile& file = fileOf(lock);
    if (!file.open) std::abort();  // released twice
    file.open = false;
    --fakeLog.openHandles;
    fakeLog.lockedFolders.erase(folder);
    return fakeFiles.erase(lockFileOf(folder)) == 1;
}

bool platformFileSize(const char* name, uint64_t& size)
{
    auto file = fakeFiles.find(name);
    if (file == fakeFiles.end()) return false;
    size = file->second.size;
    return true;
}

bool platformMakeFolder(const char*, IoStatus*)
{
    return true;
}

bool platformRemoveFolder(const char*)
{
    return true;
}

uint32_t platformWriteTrack(TrackHandle handle, const void*, uint32_t size, IoStatus* why)
{
    uint32_t count = transferCount(handle, size, why);
    OpenFile& file = fileOf(handle);
    file.position += count;
    if (file.cached && count > 0) backlog = true;
    FakeFile& disk = fakeFiles[file.name];
    disk.size = std::max(disk.size, file.position);
    return count;
}

uint32_t platformReadTrack(TrackHandle handle, void*, uint32_t size, IoStatus* why)
{
    uint32_t count = transferCount(handle, size, why);
    OpenFile& file = fileOf(handle);
    uint64_t left = fakeFiles[file.name].size - std::min(fakeFiles[file.name].size, file.position);
    if (count > left) {
        count = static_cast<uint32_t>(left);
        fail(why, IoStatus{ioShortTransfer, 0});
    }
    file.position += count;
    return count;
}

uint64_t platformSeekTrackEnd(TrackHandle handle)
{
    OpenFile& file = fileOf(handle);
    file.position = fakeFiles[file.name].size;
    return file.position;
}

void platformRewindTrack(TrackHandle handle)
{
    ++fakeLog.rewinds;
    fileOf(handle).position = 0;
}

bool platformCloseTrack(TrackHandle handle, IoStatus* why)
{
    if (handle == invalidTrackHandle || handle == emptyTrackSlot) return true;
    OpenFile& file = fileOf(handle);
    if (!file.open) std::abort();  // closed twice: a fault in the engine
    file.open = false;
    --fakeLog.openHandles;
    fakeLog.closed.push_back(file.name);
    shareEvent("close " + file.name);
    return ++closeCalls != fakeScript.failCloseAt || fail(why);
}

bool platformRemoveTrackFile(const char* name)
{
    fakeLog.removed.push_back(name);
    return fakeFiles.erase(name) == 1;
}

const char* platformLastErrorText()
{
    return "scripted failure";
}

void platformSystemMessage(uint32_t systemCode, char* text, uint32_t size)
{
    std::snprintf(text, size, "system error %u", static_cast<unsigned>(systemCode));
}

uint64_t platformFreeBytes(const char* path)
{
    fakeLog.freeBytesPath = path;
    return fakeScript.freeBytesError != nullptr ? 0 : fakeScript.freeBytes;
}

const char* platformFreeBytesError()
{
    return fakeScript.freeBytesError;
}

void platformTimeBeginPeriod(uint32_t)
{
    ++fakeLog.beginPeriods;
    shareEvent("beginPeriod");
}

void platformTimeEndPeriod(uint32_t)
{
    ++fakeLog.endPeriods;
    shareEvent("endPeriod");
}

uint32_t platformTimeGetTime()
{
    shareEvent("timeGetTime");
    // Scripted readings first; then a counter that advances 1 ms per reading.
    if (clockIndex < fakeScript.clockReadings.size()) return fakeScript.clockReadings[clockIndex++];
    return static_cast<uint32_t>(1000 + clockIndex++);
}

uint64_t platformMonotonicNs()
{
    return fakeLog.nowNs;
}

void platformSleepUntilNs(uint64_t deadlineNs)
{
    ++fakeLog.sleeps;
    fakeLog.nowNs = std::max(fakeLog.nowNs, deadlineNs);
}

uint32_t platformRaiseOpenFileLimit(uint32_t wanted)
{
    return std::min(wanted, fakeScript.openFileLimit);
}

void* platformAllocTransferBuffer(uint32_t size)
{
    return std::malloc(size);
}

void platformFreeTransferBuffer(void* buffer)
{
    std::free(buffer);
}
