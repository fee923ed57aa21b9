// A session on the real disk, for any front end: the settings a front end
// chose turned into a session's, and one whole session with its progress.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "session/sample_format.h"
#include "session/session_summary.h"

// What a front end chooses for a session or for the trials of a search.
struct SessionChoice {
    uint32_t rate = 48000;
    uint32_t bits = 24;
    uint32_t channels = 1;
    double bufferSeconds = 5.0;
    uint32_t requestKBytes = 0;  // 0: a recorder's request of 65,536 frames
    double seconds = 60;         // 0: the larger of 30 s and the shortest that can tell
    TrackCaching caching = bypassFileCache;
};

// The session's settings and format, or a message saying what is wrong.
std::string sessionConfigFor(const SessionChoice& choice, uint32_t playTracks,
                             uint32_t recordTracks, SessionConfig& config, SampleFormat& format);

// Told four times a second while a session runs, and of every request as it
// completes, between requests (session_runner.h); either may be null.
struct SessionWatch {
    void* context;
    void (*progress)(void* context, const SessionRun& run);
    void (*request)(void* context, const SessionRun& run, const RequestRecord& request) = nullptr;
};

// When a session through the file cache flushes its recording: always (a
// session the user runs: its data is on the disk when it ends), or only
// when its real-time part kept the rule (a trial that failed is void, and
// its files may go at once).
struct FlushWhen {
    bool always;
    double headroomShare;  // the least headroom / buffer that keeps the rule
};

// Opens, pre-rolls and runs one session to its end (or an interrupt),
// flushes its recording through the file cache, then closes its files;
// every request goes into digest as it completes. The setup's result:
// anything but setupReady means the session never started.
SetupResult runWholeSession(SessionRun& run, SessionDigest& digest, const SessionConfig& config,
                            const SessionFiles& files, const SessionWatch& watch,
                            const FlushWhen& flushWhen);
