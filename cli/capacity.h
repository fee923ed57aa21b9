// trakmon capacity: the largest track count that records (and plays, in a
// given ratio) for a trial's length with no dropout and a minimum headroom.
//
// The search runs over the count of recorded tracks r (the played ones
// follow from the ratio): doubling from 1 until a trial fails or the limit
// passes, then halving the gap between the largest count that passed and
// the smallest that failed. Its answer had no dropout, and the next count
// either failed or lies beyond the limit. The search assumes that a disk
// which keeps up with r tracks keeps up with fewer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/session_report.h"

// recorded : played, e.g. 1:3 for overdubs; 1:0 records only.
struct PlayRatio {
    uint32_t record;
    uint32_t play;
};

// "R:P" with whole numbers, R at least 1; false when text is not that.
bool parsePlayRatio(const std::string& text, PlayRatio& ratio);
// Played tracks for r recorded ones, rounded to the nearest whole track.
uint32_t playTracksFor(const PlayRatio& ratio, uint32_t recordTracks);
// The most recorded tracks whose trial has at most maxTracks in all.
uint32_t maxRecordTracksFor(const PlayRatio& ratio, uint32_t maxTracks);

struct CapacitySearch {
    uint32_t limit;   // the largest recorded count that may be tried
    uint32_t passed;  // the largest count that passed, 0 for none
    uint32_t failed;  // the smallest count that failed, 0 for none
};

CapacitySearch startCapacitySearch(uint32_t limit);
// The next count to try, 0 when the search is over.
uint32_t nextTrialCount(const CapacitySearch& search);
void noteTrial(CapacitySearch& search, uint32_t count, bool passed);
// The most trials the search can take for a limit, and the most recorded
// track files its trials can create in all (each bound over every answer).
struct SearchBound {
    uint32_t trials;
    uint64_t recordedFiles;
};
SearchBound worstCaseSearch(uint32_t limit);

// No dropout in either direction, and the lowest headroom at least
// headroomPercent of the buffer.
bool trialPasses(const SessionSummary& summary, double headroomPercent);

struct CapacityTrial {
    uint32_t recordTracks;
    uint32_t playTracks;
    bool passed;
    SessionSummary summary;
};

// Bytes one playback file holds for a trial: its pre-roll, the trial's
// audio and one request more.
uint64_t playFileBytes(const SessionConfig& config);
// Bytes on disk during the trial of r recorded tracks: its recordings and
// the playback files.
uint64_t trialDiskBytes(const SessionConfig& config, const PlayRatio& ratio, uint32_t recordTracks);

// Why the search stops below the count asked for.
enum CapacityLimitReason { limitAsked, limitDiskSpace, limitOpenFiles };

struct CapacitySetup {
    SessionConfig config;  // of one track pair; the counts are set per trial
    SampleFormat format;
    double bufferSeconds;
    double headroomPercent;
    PlayRatio ratio;
    std::string base;
    uint32_t limit;  // recorded tracks
    CapacityLimitReason limitReason;
    uint64_t freeBytes;  // 0 when unknown
};

// What the search needs: the settings, the disk space, the time.
std::string formatCapacityPlan(const CapacitySetup& setup);
// The one sentence of the answer.
std::string capacitySentence(const CapacitySetup& setup, const CapacitySearch& search);
std::string formatCapacityTable(const std::vector<CapacityTrial>& trials);
nlohmann::json capacityJson(const CapacitySetup& setup, const CapacitySearch& search,
                            const std::vector<CapacityTrial>& trials);
