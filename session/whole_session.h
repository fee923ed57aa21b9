// A session on the real disk, for any front end: the settings a front end
// chose turned into a session's, and one whole session with its progress.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "session/sample_format.h"
#include "session/session_summary.h"

// A session's settings as a front end chooses them (a search's trials too).
struct SessionChoice {
    SampleFormat format{48000, 24, 1};
    double bufferSeconds = 5.0;
    uint32_t requestSize = 0;  // bytes; 0: a recorder's request of requestFrames frames
    double seconds = 60;       // 0: the larger of 30 s and the shortest that can tell
    TrackCaching caching = bypassFileCache;
    uint32_t requestFrames = recorderRequestFrames;
};

// What is wrong with a session's (or a search's trial's) settings, with
// the figures a front end words it by.
enum SettingsProblem {
    settingsReady,
    settingsBufferTooShort,       // the buffer holds no more than one request
    settingsTrialTooShort,        // a trial this short cannot show a dropout
    settingsHeadroomUnreachable,  // the buffer beside one request keeps less than asked
};
struct SettingsCheck {
    SettingsProblem problem = settingsReady;
    SampleFormat format{};        // the format concerned
    double bufferSeconds = 0;
    uint32_t bufferBytes = 0;
    uint32_t requestSize = 0;
    double seconds = 0;           // the trial asked for
    double shortestSeconds = 0;   // the shortest trial that can tell
    double reachablePercent = 0;  // the most headroom the buffer can keep
    double headroomPercent = 0;   // asked
};

// The session's settings, or what is wrong with them.
SettingsCheck sessionConfigFor(const SessionChoice& choice, uint32_t playTracks,
                               uint32_t recordTracks, SessionConfig& config);

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
