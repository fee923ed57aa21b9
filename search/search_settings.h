// What a capacity search or a table is asked for: one record both commands
// share, filled by a front end from its options, and the mode of a trial
// (how many tracks it records and plays for each unit of its count).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "session/sample_format.h"
#include "session/session_model.h"

// Tracks per unit of a count: recorded and played. 1:0 records only, 0:1
// plays back only, 1:3 overdubs three played tracks for each recorded one.
struct SearchMode {
    uint32_t record;
    uint32_t play;
};

// "record", "play", or "R:P" in whole numbers of up to 4 digits, not both
// 0. A mode that records nothing ("play", "0:N") only where playOnly is
// allowed: a capacity search counts recorded tracks.
bool parseSearchMode(const std::string& text, bool playOnlyAllowed, SearchMode& mode);
// "record only", "play back only", "overdub 1:3".
std::string searchModeText(const SearchMode& mode);
// Played tracks for r recorded ones, rounded to the nearest whole track
// (capacity's count is its recorded tracks).
uint32_t playTracksFor(const SearchMode& mode, uint32_t recordTracks);
// The most recorded tracks whose trial has at most maxTracks in all.
uint32_t maxRecordTracksFor(const SearchMode& mode, uint32_t maxTracks);

struct SearchSettings {
    std::vector<SampleFormat> formats;  // capacity: exactly one
    std::vector<SearchMode> modes;      // capacity: exactly one, recording
    TrackCaching caching = bypassFileCache;
    double bufferSeconds = 5.0;
    uint32_t requestSize = 0;    // bytes; 0: a recorder's requestFrames of each format
    uint32_t requestFrames = 65536;
    BufferingPreset preset = presetNone;  // the buffer and request above, named as a recorder does
    double trialSeconds = 0;     // 0: the command's own default
    double headroomPercent = 50;
    uint32_t repeat = 0;         // passes an answer needs; 0: the command's own default
    uint32_t maxTracks = 4096;   // in one trial, recorded and played
    double takeMinutes = 0;      // capacity: a take this long at the answer, 0 for none
    std::string base;            // the folder of the search is made beside it
    bool removeLeftovers = false;  // first remove the folders earlier searches left there
};
