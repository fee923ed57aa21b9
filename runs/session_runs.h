// A session and a capacity search run on the real disk, for any front end:
// the settings a front end chose turned into a session's, one whole session
// with its progress, and the search with its own folder, its playback files
// and its trials.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/capacity.h"
#include "analysis/sample_format.h"
#include "analysis/session_report.h"
#include "session/session_runner.h"

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

// What a front end chooses for a capacity search.
struct CapacityChoice {
    SessionChoice session;
    PlayRatio ratio{1, 0};
    double headroomPercent = 50;
    uint32_t maxTracks = 4096;
    uint32_t repeat = 3;
    double takeMinutes = 0;  // a take at the answer, 0 for none
    bool removeLeftovers = false;  // remove folders earlier searches left beside the base
    std::string base;
};

// The settings of a search, or a message saying what is wrong with them.
std::string capacitySetupFor(const CapacityChoice& choice, CapacitySetup& setup);
// The folders of other searches beside the base (BASE.capacity-*): left by
// one that was killed, or held by one that runs now.
std::vector<SearchFolder> findSearchFolders(const std::string& base);
// Removes a left folder: its files, then the folder; false when something
// stays (a file still held, a folder inside it).
bool removeSearchFolder(const std::string& path);
// Makes the search's own folder beside the base, BASE.capacity-XXXXXX, under
// a name nothing had, and locks it: every file of the search lives in it.
// First finds the other searches' folders and, when asked, removes those no
// search holds.
bool makeSearchFolder(CapacitySetup& setup, std::string& reason);
// The limit of the search, lowered to what the open-file limit and the free
// space allow.
void limitCapacitySearch(CapacitySetup& setup, uint32_t maxTracks);

// Why the search stopped before its end, other than an interrupt.
struct TrialFailure {
    bool undecidable = false;  // a trial kept pace in real time, but its drain cannot be measured
    bool any = false;
    SetupResult setup;     // a trial that could not start: setup.status says why
    SessionConfig config;  // of that trial
    bool requestFailed = false;  // a request, or the close of a recorded file, failed
    bool readFailed = false;
    bool closeFailed = false;
    bool writeBackFailed = false;
    std::string file;    // the file concerned
    std::string reason;  // why writing a playback file failed
};

// Told as the search goes.
struct CapacityWatch {
    void* context;
    // number 0 is the take at the answer.
    void (*trialStarting)(void* context, uint32_t number, uint32_t recordTracks,
                          uint32_t playTracks);
    void (*writingPlayback)(void* context, uint32_t files);
    void (*sessionProgress)(void* context, const SessionRun& run);
    void (*trialEnded)(void* context, const CapacityTrial& trial);
};

struct CapacityRun {
    SearchRun search;
    std::vector<CapacityTrial> trials;
    bool interrupted = false;
    TrialFailure failure;
    bool folderLeft = false;  // the folder held files the search did not make
    bool takeRan = false;     // the take at the answer ran to its end
    CapacityTrial take{};
    uint64_t freeBytesAfter = 0;  // once every file of the search is gone; 0 unknown
};

// Runs the search in setup's folder, then removes every file it made and
// the folder.
CapacityRun runCapacity(const CapacitySetup& setup, const CapacityWatch& watch);
