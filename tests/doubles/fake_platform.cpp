#include "tests/doubles/fake_platform.h"

#include <algorithm>
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
};
std::vector<OpenFile> handles;  // handle h is handles[h - 1]
uint32_t createCalls = 0;
uint32_t openCalls = 0;
uint32_t transferCalls = 0;
uint32_t closeCalls = 0;
size_t clockIndex = 0;

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

// The scripted short request, if this is it; otherwise the full size.
uint32_t transferCount(TrackHandle handle, uint32_t size)
{
    ++transferCalls;
    fakeLog.transferOrder.push_back(fileOf(handle).name);
    auto scripted = fakeScript.requestNsAt.find(transferCalls);
    fakeLog.nowNs += scripted != fakeScript.requestNsAt.end() ? scripted->second : fakeScript.requestNs;
    if (transferCalls == fakeScript.shortTransferAt) return fakeScript.shortTransferBytes;
    return size;
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
}

TrackHandle platformCreateTrackFile(const char* name)
{
    if (++createCalls == fakeScript.failCreateAt) return invalidTrackHandle;
    fakeLog.created.push_back(name);
    fakeFiles[name].size = 0;
    return addHandle(name);
}

TrackHandle platformOpenTrackFile(const char* name)
{
    if (++openCalls == fakeScript.failOpenAt || fakeFiles.count(name) == 0)
        return invalidTrackHandle;
    fakeLog.opened.push_back(name);
    return addHandle(name);
}

TrackHandle platformCreateTrackFile(const char* name, TrackCaching)
{
    return platformCreateTrackFile(name);
}

TrackHandle platformOpenTrackFile(const char* name, TrackCaching)
{
    return platformOpenTrackFile(name);
}

bool platformCanDropCachedPages()
{
    return true;
}

bool platformDropCachedPages(TrackHandle)
{
    return true;
}

bool platformFileSize(const char* name, uint64_t& size)
{
    auto file = fakeFiles.find(name);
    if (file == fakeFiles.end()) return false;
    size = file->second.size;
    return true;
}

bool platformMakeFolder(const char*)
{
    return true;
}

bool platformRemoveFolder(const char*)
{
    return true;
}

uint32_t platformWriteTrack(TrackHandle handle, const void*, uint32_t size)
{
    uint32_t count = transferCount(handle, size);
    OpenFile& file = fileOf(handle);
    file.position += count;
    FakeFile& disk = fakeFiles[file.name];
    disk.size = std::max(disk.size, file.position);
    return count;
}

uint32_t platformReadTrack(TrackHandle handle, void*, uint32_t size)
{
    uint32_t count = transferCount(handle, size);
    OpenFile& file = fileOf(handle);
    uint64_t left = fakeFiles[file.name].size - std::min(fakeFiles[file.name].size, file.position);
    if (count > left) count = static_cast<uint32_t>(left);
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

bool platformCloseTrack(TrackHandle handle)
{
    if (handle == invalidTrackHandle || handle == emptyTrackSlot) return true;
    OpenFile& file = fileOf(handle);
    if (!file.open) std::abort();  // closed twice: a fault in the engine
    file.open = false;
    --fakeLog.openHandles;
    fakeLog.closed.push_back(file.name);
    shareEvent("close " + file.name);
    return ++closeCalls != fakeScript.failCloseAt;
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
