#include "session/session_runner.h"

#include <algorithm>
#include <cstdio>

#include "engine/plan.h"
#include "engine/track_name.h"
#include "engine/write_stamp.h"
#include "platform/console.h"

std::string numberedTrackFileName(const std::string& base, uint32_t number)
{
    char name[trackFileNameSize];
    formatTrackName(name, sizeof name, base.c_str(), number, extensionInFileName);
    return name;
}


std::string sessionTrackFileName(const SessionRun& run, uint32_t track)
{
    uint32_t plays = run.model.config.playTracks;
    if (track < plays) return numberedTrackFileName(run.files.playBase, track + 1);
    return numberedTrackFileName(run.files.recordBase, run.files.firstRecordNumber + track - plays);
}

static SetupResult failSetup(SessionRun& run, SessionSetup status, const std::string& fileName,
                             IoStatus why)
{
    closeSession(run);
    SetupResult result;
    result.status = status;
    result.fileName = fileName;
    result.why = why;
    return result;
}

SetupResult openSession(SessionRun& run, const SessionConfig& config, const SessionFiles& files)
{
    run = SessionRun();
    startModel(run.model, config);
    run.files = files;
    uint32_t trackCount = config.playTracks + config.recordTracks;

    SetupResult limit;
    limit.openFilesNeeded = trackCount + spareOpenFiles;
    limit.openFileLimit = platformRaiseOpenFileLimit(limit.openFilesNeeded);
    if (limit.openFileLimit < limit.openFilesNeeded) {
        limit.status = setupOpenFileLimit;
        return limit;
    }
    run.buffer = platformAllocTransferBuffer(config.requestSize);
    if (run.buffer == nullptr) return failSetup(run, setupNoMemory, "", IoStatus{ioNoMemory, 0});
    // Every block the session writes is new data, as a recording's are; a
    // session number above the byte count keeps the sessions of one
    // process (a capacity search) apart too.
    run.stampBase = static_cast<uint64_t>(++writePassNumber) << 48;

    run.handles.assign(trackCount, emptyTrackSlot);
    run.playLength.assign(config.playTracks, 0);
    run.playPosition.assign(config.playTracks, 0);
    run.wrapped.assign(config.playTracks, false);
    for (uint32_t track = 0; track < trackCount; ++track) {
        std::string name = sessionTrackFileName(run, track);
        bool play = track < config.playTracks;
        IoStatus why{};
        TrackHandle file = play ? platformOpenTrackFile(name.c_str(), files.caching, &why)
                                : platformCreateTrackFile(name.c_str(), files.caching, &why);
        if (file == invalidTrackHandle)
            return failSetup(run, play ? setupPlayFileMissing : setupCreateFailed, name, why);
        run.handles[track] = file;
        if (!play) continue;
        // Played cold, as a take recorded earlier is: nothing of it in memory.
        if (files.caching == throughFileCache && !platformDropCachedPages(file))
            run.playedCold = false;
        uint64_t size = platformSeekTrackEnd(file);
        platformRewindTrack(file);
        run.playLength[track] = size / config.requestSize * config.requestSize;
        if (run.playLength[track] == 0)
            return failSetup(run, setupPlayFileTooSmall, name, IoStatus{});
    }

    // What holds the files the session measures: the recorded ones, or the
    // played ones when it only plays.
    std::string measured = sessionTrackFileName(run, trackCount - 1);
    std::string folder = measured.substr(0, fileNameStart(measured.c_str()));
    if (folder.empty()) folder = ".";
    run.storageKnown = platformDescribeStorage(folder.c_str(), run.storage);

    // Asked once the recording files are emptied, so that their old bytes count.
    uint64_t needed = recordedBytesPerTrack(config) * config.recordTracks + freeSpaceReserve;
    FreeSpace space = queryFreeSpace(sessionTrackFileName(run, trackCount - 1).c_str());
    uint64_t freeBytes = space.bytes;
    if (space.known && freeBytes <= needed) {
        SetupResult space = failSetup(run, setupNotEnoughSpace, "", IoStatus{ioDiskFull, 0});
        space.bytesNeeded = needed;
        space.bytesFree = freeBytes;
        return space;
    }
    return limit;
}

static uint32_t readPlayTrack(SessionRun& run, uint32_t track)
{
    uint32_t size = run.model.config.requestSize;
    if (run.playPosition[track] + size > run.playLength[track]) {
        platformRewindTrack(run.handles[track]);
        run.playPosition[track] = 0;
        run.wrapped[track] = true;
    }
    run.playPosition[track] += size;
    if (run.wrapped[track] && run.files.caching == throughFileCache) {
        ++run.warmReads;
        run.playedCold = false;
    }
    return platformReadTrack(run.handles[track], run.buffer, size, &run.failedWhy);
}

bool prerollAndStart(SessionRun& run)
{
    const SessionConfig& config = run.model.config;
    uint32_t reads = prerollRequests(config);
    for (uint32_t track = 0; track < config.playTracks; ++track)
        for (uint32_t read = 0; read < reads; ++read)
            if (readPlayTrack(run, track) != config.requestSize) {
                run.aborted = true;
                run.failedTrack = track;
                return false;
            }
    run.originNs = platformMonotonicNs();
    run.nowNs = 0;
    return true;
}

bool runSessionUntil(SessionRun& run, uint64_t untilNs, const RequestSink& sink)
{
    SessionModel& model = run.model;
    const uint64_t endNs = model.config.durationNs;
    const uint32_t size = model.config.requestSize;
    const uint32_t plays = model.config.playTracks;
    untilNs = std::min(untilNs, endNs);
    uint64_t now = run.nowNs;
    while (now < untilNs && !run.aborted) {
        int32_t next = nextRequestTrack(model, now);
        if (next < 0) {
            platformSleepUntilNs(run.originNs + std::min(nextReadyNs(model, now), untilNs));
            now = platformMonotonicNs() - run.originNs;
            continue;
        }
        // Read again so that the choice is not counted as the request's time.
        uint32_t track = static_cast<uint32_t>(next);
        if (track >= plays) {
            stampBlocks(run.buffer, size, run.stampBase + run.writtenBytes);
            run.writtenBytes += size;
        }
        RequestRecord record;
        record.track = track;
        record.startNs = platformMonotonicNs() - run.originNs;
        record.level = beginRequest(model, track, record.startNs);
        uint32_t count = track < plays ? readPlayTrack(run, track)
                                       : platformWriteTrack(run.handles[track], run.buffer, size,
                                                            &run.failedWhy);
        now = platformMonotonicNs() - run.originNs;
        record.endNs = now;
        uint32_t after = endRequest(model, track, record.startNs, now);
        if (track < plays) record.level = after;
        if (count != size) {
            run.aborted = true;
            run.failedTrack = track;
        }
        if (sink.completed != nullptr) sink.completed(sink.context, run, record);
    }
    run.nowNs = now;
    if (now < endNs && !run.aborted) return true;
    finishModel(model, sessionElapsedNs(run));
    return false;
}

uint64_t sessionElapsedNs(const SessionRun& run)
{
    if (run.aborted) return run.nowNs;
    return std::max(run.nowNs, run.model.config.durationNs);
}

void flushRecording(SessionRun& run)
{
    const uint32_t plays = run.model.config.playTracks;
    const uint32_t tracks = static_cast<uint32_t>(run.handles.size());
    FlushResult& flush = run.flush;
    flush = FlushResult();
    uint64_t before = 0;
    bool counted = run.storageKnown && platformDeviceWrittenBytes(run.storage, before);
    uint64_t started = platformMonotonicNs();
    for (uint32_t track = plays; track < tracks && !flush.failed; ++track)
        if (!platformStartWriteBack(run.handles[track], &run.failedWhy)) {
            flush.failed = true;
            run.failedTrack = track;
        }
    // The data first, timed with the device's counter; then every file made
    // durable, which commits metadata and is no part of the drain.
    for (uint32_t track = plays; track < tracks && !flush.failed; ++track) {
        if (platformInterruptRequested()) {
            flush.interrupted = true;
            break;
        }
        if (!platformWaitWriteBack(run.handles[track], &run.failedWhy)) {
            flush.failed = true;
            run.failedTrack = track;
        }
    }
    flush.dataNs = platformMonotonicNs() - started;
    uint64_t after = 0;
    flush.counted = counted && platformDeviceWrittenBytes(run.storage, after) && after >= before;
    if (flush.counted) flush.deviceBytes = after - before;
    for (uint32_t track = plays; track < tracks && !flush.failed && !flush.interrupted; ++track)
        if (!platformFinishWriteBack(run.handles[track], &run.failedWhy)) {
            flush.failed = true;
            run.failedTrack = track;
        }
    flush.ns = platformMonotonicNs() - started;
    flush.ran = !flush.failed && !flush.interrupted;
    if (flush.failed) {
        run.aborted = true;
        run.writeBackFailed = true;
    }
}

void closeSession(SessionRun& run)
{
    const uint32_t plays = run.model.config.playTracks;
    for (uint32_t track = 0; track < run.handles.size(); ++track) {
        TrackHandle& file = run.handles[track];
        IoStatus why{};
        if (file != emptyTrackSlot && !platformCloseTrack(file, &why) && track >= plays && !run.aborted) {
            run.failedWhy = why;
            run.aborted = true;
            run.closeFailed = true;
            run.failedTrack = track;
        }
        file = emptyTrackSlot;
    }
    if (run.buffer != nullptr) platformFreeTransferBuffer(run.buffer);
    run.buffer = nullptr;
}

PlayFileFailure preparePlayFiles(const std::string& base, uint32_t first, uint32_t count,
                                 uint64_t bytes, uint32_t requestSize, TrackCaching caching,
                                 bool& interrupted)
{
    interrupted = false;
    PlayFileFailure failure;
    void* buffer = platformAllocTransferBuffer(requestSize);
    if (buffer == nullptr)
        return PlayFileFailure{playFileNoMemory, numberedTrackFileName(base, first), {ioNoMemory, 0}};
    std::vector<TrackHandle> files(count, emptyTrackSlot);
    for (uint32_t track = 0; track < count && failure.step == playFileWritten; ++track) {
        std::string name = numberedTrackFileName(base, first + track);
        files[track] = platformCreateTrackFile(name.c_str(), caching, &failure.why);
        if (files[track] == invalidTrackHandle) {
            files[track] = emptyTrackSlot;
            failure.step = playFileCreate;
            failure.file = name;
        }
    }
    uint64_t stampBase = static_cast<uint64_t>(++writePassNumber) << 48;
    uint64_t stamped = 0;
    for (uint64_t written = 0; written < bytes && failure.step == playFileWritten && !interrupted;
         written += requestSize)
        for (uint32_t track = 0; track < count && failure.step == playFileWritten; ++track) {
            if (platformInterruptRequested()) {
                interrupted = true;
                break;
            }
            stampBlocks(buffer, requestSize, stampBase + stamped);
            stamped += requestSize;
            if (platformWriteTrack(files[track], buffer, requestSize, &failure.why) != requestSize) {
                failure.step = playFileWrite;
                failure.file = numberedTrackFileName(base, first + track);
            }
        }
    for (uint32_t track = 0; track < count; ++track) {
        IoStatus why{};
        if (!platformCloseTrack(files[track], &why) && failure.step == playFileWritten && !interrupted)
            failure = PlayFileFailure{playFileClose, numberedTrackFileName(base, first + track), why};
    }
    platformFreeTransferBuffer(buffer);
    return failure;
}

uint32_t removeTrackFiles(const std::string& base, uint32_t first, uint32_t count)
{
    uint32_t removed = 0;
    for (uint32_t number = first; number < first + count; ++number)
        if (platformRemoveTrackFile(numberedTrackFileName(base, number).c_str())) ++removed;
    return removed;
}
