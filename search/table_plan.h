// trakmon table: for every format and mode of a list, the largest track
// count that the disk carries for a whole take, each predicted from the
// disk's time per request and confirmed in real-time trials as valid as the
// capacity search's (search/table_search.h decides; search/table_runs.h
// runs). Here its setup, its cells, how each ended, and its estimates.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/capacity_plan.h"
#include "search/search_folder.h"
#include "search/trial_bench.h"
#include "search/table_search.h"

struct TableSetup {
    SearchSettings settings;
    SearchPlace place;
    uint64_t trialNs;     // every trial's length
    double step;          // a cell is settled within this share
    uint32_t maxTracks;   // in one trial: the settings', lowered to what the files and space allow
    uint32_t maxPlayed;   // played tracks in one trial: maxTracks, lowered to what the time allows
    SearchLimitReason limitReason;      // of maxTracks
    SearchLimitReason playLimitReason;  // of maxPlayed
    bool freeKnown;       // the volume answered how much is free (0 is a full disk)
    uint64_t freeBytes;
    bool playedCold;
    std::vector<uint32_t> calibrationSizes;  // request sizes the disk's cost is measured at
    uint64_t calibrationBytes;               // written at most at each size
    std::string date;     // when the table began, as the front end writes it
    // Once the disk is measured (0 before): the time that took, and how fast
    // it takes playback files (bypassing the cache: its rate at the largest
    // request measured; through it: the device's drain).
    uint64_t measuredNs;
    double writeBytesPerSecond;
    double drainBytesPerSecond;  // through the cache; 0: unknown
};

// The most a table's estimate may be at its default trials: beyond, it
// plays fewer tracks than a trial may hold, so that their files are written
// in time.
const uint64_t tableTimeCapNs = 20ull * 60 * 1000000000u;
const uint64_t tableTimeCapThroughCacheNs = 30ull * 60 * 1000000000u;

// The setup of a table with these settings (its folder not yet made), or
// what is wrong with them.
SettingsCheck tableSetupFor(const SearchSettings& settings, bool playedCold, const std::string& date,
                            TableSetup& setup);

// The session settings of one format in the table (counts set per trial).
SessionConfig tableConfig(const TableSetup& setup, const SampleFormat& format);
SearchRules tableRules(const TableSetup& setup, const SampleFormat& format);
// The units of a cell's count one trial may hold: maxTracks in all.
uint32_t cellLimit(const TableSetup& setup, const SearchMode& mode);

struct TableCalibration {
    bool ran;
    std::vector<CostSample> samples;
    RequestCostModel model;
    uint64_t ns;
    // What the trials of the cells measured (single-direction trials only),
    // and the model refined by them, which every later cell is predicted from.
    std::vector<CostSample> trialSamples;
    RequestCostModel refined;
    std::vector<QueueSample> queue;  // the headroom a track cost, from the cells so far
    double mixedScale;               // recording and playing at once against their sum (0: unknown)
    double drainBytesPerSecond;      // through the cache: the device's, measured first
};

// The disk as the cells so far know it: every later cell is predicted from it.
TableModel tableModelOf(const TableCalibration& calibration);
// A cell of the table as its prediction and search see it.
CellShape cellShapeOf(const TableSetup& setup, const SampleFormat& format, const SearchMode& mode);

struct TableCell {
    SampleFormat format;
    SearchMode mode;
    uint32_t predicted;  // from the disk's time per request; 0 when it could not be
    CellRules rules;     // the search starts at the prediction (or a probe without one)
    std::vector<TrialResult> results;
    std::vector<SearchTrial> trials;
    bool started;
    bool settled;     // its search ended of itself, not for want of time or at a failure
    SearchEnd end;    // outOfTime: its time ran out before it settled
    uint64_t elapsedNs;
};

// What stopped a table before its last cell.
enum TableStop {
    tableNotStopped,
    tableNoTrackFits,         // not even one track: the open files or the free space
    tableDrainUnmeasurable,   // through the file cache, with no device counter to judge the drain by
    tableTrialFailed,         // a request, a setup or the playback files failed: TableRun.failure says
};

struct TableRun {
    SettingsCheck check;             // settings that cannot be tabled: nothing ran
    FolderProblem folder = folderReady;  // a folder that could not be made: nothing ran
    IoStatus folderWhy{};
    TableSetup setup{};
    TableCalibration calibration{};
    std::vector<TableCell> cells;
    uint64_t elapsedNs = 0;
    bool interrupted = false;
    TableStop stop = tableNotStopped;
    TrialFailure failure;    // tableTrialFailed: what failed
    bool folderLeft = false;  // the folder held files the table did not make
};

// The cell's answer and how it ended, as its text and JSON say it.
struct CellVerdict {
    SearchOutcome outcome;
    SearchAnswer answer;
    SearchDrift drift;
};
CellVerdict cellVerdict(const TableSetup& setup, const TableCell& cell);

// Time and space, stated before the table starts and kept: the calibration,
// three trials a cell (the prediction, a step past it, the prediction
// again), and every format's playback files at the most a cell may play,
// written at nominalPlaybackWriteRate. The table starts no trial that would
// end past its estimate.
uint64_t calibrationEstimateNs(const TableSetup& setup);
uint64_t tableTrialNs(const TableSetup& setup, const SampleFormat& format);
// Writing `files` playback files of a format, at the disk's measured speed
// (or a modest disk's, before it is measured), or at slowerRate where the
// trials wrote them slower than that (0: none written yet).
uint64_t tablePlaybackWriteNs(const TableSetup& setup, const SampleFormat& format, uint32_t files,
                              double slowerRate = 0);
uint64_t tableEstimateNs(const TableSetup& setup);
// Lowers the most played tracks a trial may hold until the estimate is
// within the table's time cap (once the disk is measured), and says why.
void fitTableInTime(TableSetup& setup);
uint64_t tableDiskBytes(const TableSetup& setup);
// The most tracks a cell of the table plays, and so a format's playback files.
uint32_t mostPlayedOf(const TableSetup& setup);
