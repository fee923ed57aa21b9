// A recorder's disk thread as arithmetic: the buffer of every track filled
// (recording) or drained (playback) in real time, the choice of the next
// request, and what a late request costs. It does no I/O and reads no clock:
// the runner (session_runner.h) feeds it readings of the real clock and the
// completion times of real requests; tests feed scripted ones.
//
// Audio moves in sample frames (one sample of every channel); frame k of a
// session is due at k / rate seconds after its start.
// - Recording: a track's buffer takes every arriving frame that fits; a frame
//   that does not fit is lost (an overrun). A write request takes one
//   request's bytes out of the buffer when it starts (into the transfer
//   buffer), so only a track that holds a full request gets one.
// - Playback: buffers start full (whole requests, read before the clock
//   starts). The player takes every frame when it is due; a frame the buffer
//   does not hold is missed (an underrun). A read request adds its bytes when
//   it completes, so only a track with room for a full request gets one.
// - Requests go round-robin: from the track after the last one served, the
//   first track that is ready.
//
// A track's level moves one way between two of its own requests (up while
// recording, down while playing), so its peak or trough lies at an
// accounting: the start of its write, the end of its read, the end of the
// session. Tracks are accounted only then, which keeps a choice among 4096
// tracks cheap.
#pragma once
#include <cstdint>
#include <vector>

const uint32_t maxSessionTracks = 4096;

struct SessionConfig {
    uint32_t playTracks;    // tracks 0 .. playTracks - 1
    uint32_t recordTracks;  // the tracks after them
    uint32_t frameRate;     // frames per second
    uint32_t frameBytes;    // bytes of one frame
    uint32_t bufferBytes;   // per track, a whole number of frames, more than one request
    uint32_t requestSize;   // bytes of every request
    uint64_t durationNs;    // no request starts later
};

struct TrackLevel {
    uint64_t accountedFrames;  // frames due so far that the level includes
    uint32_t fill;             // bytes in the buffer
    bool inDropout;            // the last accounting ran out of room (or of audio)
};

// Overruns of the recording tracks, or underruns of the playback tracks.
struct DropoutTally {
    uint64_t frames;          // frames lost or missed, over all tracks
    uint32_t events;          // runs of consecutive such frames, over all tracks
    bool any;
    uint64_t firstNs;         // when the first of them was due
    uint32_t firstTrack;
    uint32_t lowestHeadroom;  // bytes: room left (recording) or audio left (playback)
};

struct SessionModel {
    SessionConfig config;
    std::vector<TrackLevel> tracks;
    uint32_t cursor;  // where the next round-robin search starts
    DropoutTally recording;
    DropoutTally playback;
    uint64_t requestCount;
    uint64_t writeRequests;
    uint64_t readRequests;
    uint64_t busyNs;  // time inside requests
};

// Frames due by time ns (frame k is due at k / rate s), and the time frame k is due.
uint64_t framesDueBy(uint32_t frameRate, uint64_t ns);
uint64_t frameDueNs(uint32_t frameRate, uint64_t frame);

// Recorders size their disk requests in frames, so that a request holds the
// same time of audio in every format: 65,536 frames of the format, rounded
// up to the 4 KByte multiple that bypassing the file cache needs.
const uint32_t recorderRequestFrames = 65536;
uint32_t recorderRequestBytes(uint32_t frameBytes, uint32_t frames = recorderRequestFrames);

// A recorder's buffering as its users know it by name: Ardour's presets,
// each track's buffer and the frames of its disk writes (its reads, of
// Medium and Large, take 262,144 and 524,288 frames at a time; a session
// here reads as it writes).
enum BufferingPreset { presetNone, presetSmall, presetMedium, presetLarge };
struct PresetBuffering {
    double bufferSeconds;
    uint32_t requestFrames;
};
PresetBuffering presetBuffering(BufferingPreset preset);
// "small", "medium", "large"; "" for none.
const char* bufferingPresetName(BufferingPreset preset);

// The most headroom a buffer can show: a request's audio must be in the
// buffer before it is written (and a read is asked for only when a request
// fits), so even a perfect disk leaves one request of every buffer in use.
uint32_t bestHeadroomBytes(const SessionConfig& config);
// The shortest session that can show a dropout: a buffer of B seconds only
// overruns in a session longer than B, and a slow disk shows only after a
// few requests; three buffer lengths and ten request periods (the audio one
// request holds), whichever is longer.
uint64_t shortestTellingNs(const SessionConfig& config);

// Whole requests in a playback buffer before the clock starts.
uint32_t prerollRequests(const SessionConfig& config);

void startModel(SessionModel& model, const SessionConfig& config);
bool isPlayTrack(const SessionModel& model, uint32_t track);

// The track that gets a request at nowNs, or -1 when none is ready.
int32_t nextRequestTrack(const SessionModel& model, uint64_t nowNs);
// When the first track will be ready if no request runs before; later than
// nowNs whenever nextRequestTrack(nowNs) is -1.
uint64_t nextReadyNs(const SessionModel& model, uint64_t nowNs);

// A request to track starts at startNs: the track is accounted up to then and
// a write takes its bytes. Returns the track's level at that moment (bytes).
uint32_t beginRequest(SessionModel& model, uint32_t track, uint64_t startNs);
// The request completes at endNs: a read adds its bytes. Returns the level of
// a playback track just before they arrive, or of a recording track after
// its bytes left.
uint32_t endRequest(SessionModel& model, uint32_t track, uint64_t startNs, uint64_t endNs);
// Accounts every track up to endNs.
void finishModel(SessionModel& model, uint64_t endNs);

// Bytes each recording track writes in durationNs: the whole requests that
// its audio fills.
uint64_t recordedBytesPerTrack(const SessionConfig& config);
