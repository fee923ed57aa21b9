// trakmon capacity: the largest track count that records (and plays, in a
// given ratio) for a trial's length with no dropout and a minimum headroom,
// found by the search of search/capacity_search.h; here its setup, its
// trials as the search sees them, its estimates, and how it ended.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/capacity_search.h"
#include "search/search_settings.h"
#include "session/session_summary.h"
#include "session/whole_session.h"

// No dropout in either direction, long enough to tell, and the lowest
// headroom at least headroomPercent of the buffer.
bool trialPasses(const SessionSummary& summary, double headroomPercent);
// What the search needs of a finished trial.
TrialResult trialResult(const SessionSummary& summary, bool passed);

struct SearchTrial {
    uint32_t recordTracks;
    uint32_t playTracks;
    bool passed;
    SessionSummary summary;
    uint64_t wallNs;         // the whole trial: its files, pre-roll, session, flush and removal
    uint64_t preparationNs;  // of that, writing the playback files it added
};

// Bytes one playback file holds for a trial: its pre-roll, the trial's
// audio and one request more.
uint64_t playFileBytes(const SessionConfig& config);
// Bytes on disk during the trial of r recorded tracks: its recordings and
// the playback files.
uint64_t trialDiskBytes(const SessionConfig& config, const SearchMode& mode, uint32_t recordTracks);

// Why the search stops below the count asked for.
enum SearchLimitReason {
    limitAsked,
    limitDiskSpace,
    limitOpenFiles,
    limitTime,  // the table: the playback files of more tracks would not be written in its time
};

// A search's folder beside the base that an earlier search left (killed, or
// ended by a power cut), or that a running one holds.
struct SearchFolder {
    std::string path;
    uint64_t bytes;  // of the files in it
    bool inUse;      // its search holds its lock: it runs now
};

// Where a search (or a table of them) makes its files: its own folder beside
// the base, and what holds it.
struct SearchPlace {
    std::string base;
    std::string folder;  // the search's own, beside base: every file it makes is in it
    bool storageKnown;
    StorageInfo storage;               // what holds the folder
    std::vector<SearchFolder> others;  // other searches' folders beside the base
};

// A capacity search as planned from its settings: the session of one
// trial, its limit, the space and the take.
struct CapacitySetup {
    SearchSettings settings;
    SessionConfig config;  // of one track pair; the counts are set per trial
    SampleFormat format;   // settings.formats[0]
    SearchMode mode;       // settings.modes[0]
    SearchPlace place;
    uint32_t limit;      // recorded tracks
    SearchLimitReason limitReason;
    bool freeKnown;      // the volume answered how much is free (0 is a full disk)
    uint64_t freeBytes;
    bool playedCold;     // played files can be read cold (their cached pages dropped)
    uint64_t takeNs;     // the take at the answer, 0 for none
    double drainBytesPerSecond;  // through the cache: the device's drain, measured first (0: not)
};

// The setup of a search with these settings (its folder not yet made, its
// limit that of the settings), or what is wrong with them.
SettingsCheck capacitySetupFor(const SearchSettings& settings, bool playedCold, CapacitySetup& setup);

// The bytes on disk at once while the search runs with r recorded tracks:
// the larger of a trial's recordings and the take's, and the playback files.
uint64_t searchDiskBytes(const CapacitySetup& setup, uint32_t recordTracks);

SearchRules capacityRules(const CapacitySetup& setup);

// Besides its own length a trial takes time to create and remove its files
// and to pre-roll every played track's buffer: 2 s at 512 tracks and 8 to
// 12 s at 2,000 to 3,800 on our build machine.
const uint64_t trialSetupNs = 10000000000u;

// The take at the answer, when one was asked for.
struct CapacityTake {
    bool ran;  // to its end
    SearchTrial trial;
    uint64_t freeBytes;  // free once the search's files are gone; 0 unknown
};

// How a search ended and what it found, as its sentence and JSON say it.
struct CapacityVerdict {
    SearchOutcome outcome;
    SearchAnswer answer;
    SearchDrift drift;
    SearchEnd end;
    uint32_t trials;
    CapacityTake take;
};
CapacityVerdict capacityVerdict(const CapacitySetup& setup, const SearchRun& run,
                                const SearchEnd& end, const CapacityTake& take);
// What one trial is expected to take before any has run: its length, the
// pre-roll and the files around it, and through the file cache the flush
// of what it recorded.
uint64_t nominalTrialNs(const CapacitySetup& setup);
// Writing the playback files of the largest trial, at a modest disk's
// speed (nominalPlaybackWriteRate bytes/s), so that the estimate holds on
// slow disks too.
const uint64_t nominalPlaybackWriteRate = 100000000;
uint64_t playbackWriteNs(const CapacitySetup& setup);
// The search's trials and playback files; it keeps within half again of it.
uint64_t searchEstimateNs(const CapacitySetup& setup);
// The take at the answer, if one is asked for.
uint64_t takeEstimateNs(const CapacitySetup& setup);
// Everything: the search, then the take.
uint64_t capacityEstimateNs(const CapacitySetup& setup);
