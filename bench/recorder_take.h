// What the benchmark against a real recorder decides, as pure functions: a
// take's JSON line (bench/ardour-take) read and judged, the recorder's
// limit searched with the search room's own pure search, and whether
// trakmon's bracket agrees with the recorder's.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/capacity_search.h"

// One take of the recorder, as bench/ardour-take reports it.
struct RecorderTake {
    uint32_t tracks;         // recorded
    uint32_t played;
    double wallSeconds;      // the roll's
    double engineRate;       // samples the engine processed a second of wall time
    uint32_t nominalRate;
    uint64_t capturedXruns;  // cycles whose audio found a recording track's buffer full
    uint32_t tracksWithoutRegion;  // a lost take
    uint32_t underrunTracks;       // played tracks that ran dry
};

// Reads a take's JSON line; false when it is no take (unparsable, or a
// field is missing).
bool parseRecorderTake(const std::string& line, RecorderTake& take);

enum TakeVerdict {
    takeClean,    // every track recorded (and played) with no overrun, no lost take
    takeDropped,  // audio was dropped: an overrun, a lost take or an underrun
    takeInvalid,  // the engine ran too slow for the take to prove anything
};
// The engine must process at least this share of its nominal rate.
const double leastEngineShare = 0.97;
TakeVerdict judgeTake(const RecorderTake& take);

// A recorder's take as the search sees a trial: passed when clean.
TrialResult takeTrial(const RecorderTake& take);
// The rules of the recorder's search: its limit, one pass an answer,
// within 5 %.
SearchRules recorderSearchRules(uint32_t limit);

// Two brackets (the largest count that kept up, the smallest that failed;
// 0 for none), each widened by the drift its own trials measured (a share:
// 0.1 widens by 10 % either way). They agree when the widened ranges
// overlap and the lower ends lie within `lowTolerance` of each other.
struct Bracket {
    uint32_t passed;
    uint32_t failed;
    double drift;
};
struct Agreement {
    bool overlap;
    double lowerRatio;  // trakmon's lower end / the recorder's
    bool agrees;
};
Agreement bracketAgreement(const Bracket& trakmon, const Bracket& recorder, double lowTolerance);
// How far the recorder's engine rate moved between takes: (fastest /
// slowest) - 1.
double engineDrift(const std::vector<RecorderTake>& takes);
