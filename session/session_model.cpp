#include "session/session_model.h"

#include <algorithm>

static const uint64_t nsPerSecond = 1000000000u;

// Both conversions are taken in two parts so that no product overflows 64
// bits, whatever the session's length.
uint64_t framesDueBy(uint32_t frameRate, uint64_t ns)
{
    return ns / nsPerSecond * frameRate + ns % nsPerSecond * frameRate / nsPerSecond;
}

uint64_t frameDueNs(uint32_t frameRate, uint64_t frame)
{
    uint64_t part = frame % frameRate * nsPerSecond;
    return frame / frameRate * nsPerSecond + (part + frameRate - 1) / frameRate;
}

uint32_t recorderRequestBytes(uint32_t frameBytes, uint32_t frames)
{
    uint32_t bytes = frames * frameBytes;
    return (bytes + 4095) / 4096 * 4096;
}

PresetBuffering presetBuffering(BufferingPreset preset)
{
    switch (preset) {
    case presetSmall: return {5.0, 65536};
    case presetMedium: return {10.0, 131072};
    case presetLarge: return {20.0, 131072};
    case presetNone: break;
    }
    return {5.0, recorderRequestFrames};
}

const char* bufferingPresetName(BufferingPreset preset)
{
    switch (preset) {
    case presetSmall: return "small";
    case presetMedium: return "medium";
    case presetLarge: return "large";
    case presetNone: break;
    }
    return "";
}

uint32_t bestHeadroomBytes(const SessionConfig& config)
{
    return config.bufferBytes - config.requestSize;
}

uint64_t shortestTellingNs(const SessionConfig& config)
{
    uint64_t bufferFrames = config.bufferBytes / config.frameBytes;
    uint64_t requestFrames = (config.requestSize + config.frameBytes - 1) / config.frameBytes;
    return std::max(frameDueNs(config.frameRate, 3 * bufferFrames),
                    frameDueNs(config.frameRate, 10 * requestFrames));
}

uint32_t prerollRequests(const SessionConfig& config)
{
    return config.bufferBytes / config.requestSize;
}

uint64_t recordedBytesPerTrack(const SessionConfig& config)
{
    uint64_t bytes = framesDueBy(config.frameRate, config.durationNs) * config.frameBytes;
    return bytes / config.requestSize * config.requestSize;
}

void startModel(SessionModel& model, const SessionConfig& config)
{
    model = SessionModel();
    model.config = config;
    model.tracks.assign(config.playTracks + config.recordTracks, TrackLevel());
    uint32_t preroll = prerollRequests(config) * config.requestSize;
    for (uint32_t track = 0; track < config.playTracks; ++track) model.tracks[track].fill = preroll;
    model.recording.lowestHeadroom = bestHeadroomBytes(config);
    model.playback.lowestHeadroom = std::min(preroll, bestHeadroomBytes(config));
}

bool isPlayTrack(const SessionModel& model, uint32_t track)
{
    return track < model.config.playTracks;
}

// The level a track would have after the frames due by frame count `due`:
// the frames that fit (recording) or that it holds (playback), and how many
// of them do.
static uint64_t framesMoved(const SessionModel& model, const TrackLevel& level, bool play,
                            uint64_t due)
{
    if (due <= level.accountedFrames) return 0;
    uint64_t arriving = due - level.accountedFrames;
    uint32_t frameBytes = model.config.frameBytes;
    uint64_t possible = play ? level.fill / frameBytes
                             : (model.config.bufferBytes - level.fill) / frameBytes;
    return std::min(arriving, possible);
}

static uint32_t levelAt(const SessionModel& model, uint32_t track, uint64_t due)
{
    const TrackLevel& level = model.tracks[track];
    bool play = isPlayTrack(model, track);
    uint32_t moved = static_cast<uint32_t>(framesMoved(model, level, play, due)) *
                     model.config.frameBytes;
    return play ? level.fill - moved : level.fill + moved;
}

static bool isReady(const SessionModel& model, uint32_t track, uint64_t due)
{
    uint32_t level = levelAt(model, track, due);
    if (isPlayTrack(model, track))
        return level <= model.config.bufferBytes - model.config.requestSize;
    return level >= model.config.requestSize;
}

int32_t nextRequestTrack(const SessionModel& model, uint64_t nowNs)
{
    uint32_t count = static_cast<uint32_t>(model.tracks.size());
    uint64_t due = framesDueBy(model.config.frameRate, nowNs);
    for (uint32_t step = 0; step < count; ++step) {
        uint32_t track = (model.cursor + step) % count;
        if (isReady(model, track, due)) return static_cast<int32_t>(track);
    }
    return -1;
}

uint64_t nextReadyNs(const SessionModel& model, uint64_t nowNs)
{
    const SessionConfig& config = model.config;
    uint64_t due = framesDueBy(config.frameRate, nowNs);
    uint64_t soonest = UINT64_MAX;
    for (uint32_t track = 0; track < model.tracks.size(); ++track) {
        uint32_t level = levelAt(model, track, due);
        // Bytes still to arrive (recording) or to be played (playback).
        uint32_t short_ = 0;
        if (isPlayTrack(model, track)) {
            uint32_t low = config.bufferBytes - config.requestSize;
            if (level > low) short_ = level - low;
        } else if (level < config.requestSize) {
            short_ = config.requestSize - level;
        }
        uint64_t frames = (short_ + config.frameBytes - 1) / config.frameBytes;
        uint64_t from = std::max(due, model.tracks[track].accountedFrames);
        soonest = std::min(soonest, frameDueNs(config.frameRate, from + frames));
    }
    return std::max(soonest, nowNs + 1);
}

static void noteDropout(DropoutTally& tally, TrackLevel& level, uint32_t track, uint64_t frames,
                        uint64_t firstNs)
{
    tally.frames += frames;
    if (!level.inDropout) ++tally.events;
    level.inDropout = true;
    if (!tally.any || firstNs < tally.firstNs) {
        tally.any = true;
        tally.firstNs = firstNs;
        tally.firstTrack = track;
    }
}

static void account(SessionModel& model, uint32_t track, uint64_t nowNs)
{
    const SessionConfig& config = model.config;
    TrackLevel& level = model.tracks[track];
    uint64_t due = framesDueBy(config.frameRate, nowNs);
    if (due <= level.accountedFrames) return;
    bool play = isPlayTrack(model, track);
    uint64_t moved = framesMoved(model, level, play, due);
    uint64_t dropped = due - level.accountedFrames - moved;
    uint32_t bytes = static_cast<uint32_t>(moved) * config.frameBytes;
    DropoutTally& tally = play ? model.playback : model.recording;
    if (dropped > 0)
        noteDropout(tally, level, track, dropped,
                    frameDueNs(config.frameRate, level.accountedFrames + moved));
    level.accountedFrames = due;
    if (play) {
        level.fill -= bytes;
        tally.lowestHeadroom = std::min(tally.lowestHeadroom, level.fill);
    } else {
        level.fill += bytes;
        tally.lowestHeadroom = std::min(tally.lowestHeadroom, config.bufferBytes - level.fill);
    }
}

uint32_t beginRequest(SessionModel& model, uint32_t track, uint64_t startNs)
{
    account(model, track, startNs);
    TrackLevel& level = model.tracks[track];
    uint32_t before = level.fill;
    if (!isPlayTrack(model, track)) {
        level.fill -= model.config.requestSize;
        level.inDropout = false;
    }
    model.cursor = (track + 1) % static_cast<uint32_t>(model.tracks.size());
    return before;
}

uint32_t endRequest(SessionModel& model, uint32_t track, uint64_t startNs, uint64_t endNs)
{
    ++model.requestCount;
    model.busyNs += endNs - startNs;
    TrackLevel& level = model.tracks[track];
    if (!isPlayTrack(model, track)) {
        ++model.writeRequests;
        return level.fill;
    }
    ++model.readRequests;
    account(model, track, endNs);
    uint32_t before = level.fill;
    level.fill += model.config.requestSize;
    level.inDropout = false;
    return before;
}

void finishModel(SessionModel& model, uint64_t endNs)
{
    for (uint32_t track = 0; track < model.tracks.size(); ++track) account(model, track, endNs);
}
