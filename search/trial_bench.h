// The trials of a search (or of a table of searches) in its own folder:
// the playback files, written once and only added to as counts grow, and one
// trial of given counts and length, through a whole session on the disk,
// summarised and judged by the headroom rule, the drain through the file
// cache included.
#pragma once
#include <cstdint>
#include <string>

#include "search/capacity_plan.h"
#include "session/whole_session.h"

// Why a search stopped before its end, other than an interrupt.
struct TrialFailure {
    bool undecidable = false;  // a trial kept pace in real time, but its drain cannot be measured
    bool any = false;
    SetupResult setup;     // a trial that could not start: setup.status says why
    SessionConfig config;  // of that trial
    bool requestFailed = false;  // a request, or the close of a recorded file, failed
    bool readFailed = false;
    bool closeFailed = false;
    bool writeBackFailed = false;
    PlayFileStep playFile = playFileWritten;  // what failed while its playback files were written
    std::string file;  // the file concerned
    IoStatus why{};    // why its request, close, flush or playback file failed
};

// A session that could not start or whose request failed, kept in failure;
// false when it ran to its end.
bool noteSessionFailure(TrialFailure& failure, const SetupResult& started, const SessionRun& run,
                        const SessionConfig& config);

// Told as the trials go.
struct TrialWatch {
    void* context;
    // number 0 is a take; recordTracks and playTracks are the trial's.
    void (*trialStarting)(void* context, uint32_t number, uint32_t recordTracks,
                          uint32_t playTracks);
    void (*writingPlayback)(void* context, uint32_t files);
    void (*sessionProgress)(void* context, const SessionRun& run);
    void (*trialEnded)(void* context, const SearchTrial& trial);
};

struct TrialBench {
    SessionConfig config;  // of the format; the counts and length are set per trial
    SampleFormat format;
    double bufferSeconds;
    TrackCaching caching;
    double headroomShare;  // the least headroom / buffer a trial keeps to pass
    double allowedBusy;    // the busy share the rule allows: the drain's divisor
    std::string recordBase;
    std::string playBase;
    uint32_t playFilesMade;
    uint64_t preparationNs;  // spent writing playback files since it was last set to 0
    const TrialWatch* watch;
    TrialFailure failure;
    BufferingPreset preset = presetNone;  // named in every trial's summary
};

// A bench in the place's folder for one format; tag tells its playback
// files apart from another format's.
TrialBench openTrialBench(const SearchPlace& place, const SessionConfig& config,
                          const SampleFormat& format, double bufferSeconds, TrackCaching caching,
                          double headroomShare, double allowedBusy, const std::string& tag,
                          const TrialWatch* watch);
// One trial lasting durationNs; false when the search must stop (an
// interrupt, or a failure, said in bench.failure). summarised: the trial
// ran, and trial holds what it showed.
bool runBenchTrial(TrialBench& bench, uint32_t recordTracks, uint32_t playTracks,
                   uint64_t durationNs, SearchTrial& trial, bool& summarised);
// Removes the bench's playback files.
void clearBenchPlayback(TrialBench& bench);

// How fast the device under the place drains what goes through the file
// cache: a second of 16 tracks recorded through it, as fast as `bytes` in
// all allow, then flushed and timed by the device's own counter (bytes/s).
// 0 when the device has no counter (or wrote it all before the flush); false
// when the session failed (said in failure) or was interrupted.
bool measureDrain(const SearchPlace& place, uint64_t bytes, double& bytesPerSecond,
                  TrialFailure& failure);
