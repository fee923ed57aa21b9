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
#include "search/table_search.h"

struct TableSetup {
    SearchPlace place;
    TrackCaching caching;
    double bufferSeconds;
    double headroomPercent;
    uint32_t requestSize;  // bytes; 0: a recorder's 65,536 frames of each format
    uint64_t trialNs;     // every trial's length
    uint32_t repeat;      // passes the answer of a cell needs
    double step;          // a cell is settled within this share
    std::vector<SampleFormat> formats;
    std::vector<CellMode> modes;
    uint32_t maxTracks;   // in one trial, recorded and played
    CapacityLimitReason limitReason;
    uint64_t freeBytes;   // 0 when unknown
    bool playedCold;
    std::vector<uint32_t> calibrationSizes;  // request sizes the disk's cost is measured at
    uint64_t calibrationBytes;               // written at most at each size
    std::string date;     // when the table began, UTC
};

// The session settings of one format in the table (counts set per trial).
SessionConfig tableConfig(const TableSetup& setup, const SampleFormat& format);
SearchRules tableRules(const TableSetup& setup, const SampleFormat& format);
// The units of a cell's count one trial may hold: maxTracks in all.
uint32_t cellLimit(const TableSetup& setup, const CellMode& mode);

struct TableCalibration {
    bool ran;
    std::vector<CostSample> samples;
    RequestCostModel model;
    uint64_t ns;
    // What the trials of the cells measured (single-direction trials only),
    // and the model refined by them, which every later cell is predicted from.
    std::vector<CostSample> trialSamples;
    RequestCostModel refined;
};

struct TableCell {
    SampleFormat format;
    CellMode mode;
    uint32_t predicted;  // from the disk's time per request; 0 when it could not be
    CellRules rules;     // the search starts at the prediction (or a probe without one)
    std::vector<TrialResult> results;
    std::vector<CapacityTrial> trials;
    bool started;
    SearchEnd end;    // outOfTime: its time ran out before it settled
    uint64_t elapsedNs;
};

struct TableRun {
    TableCalibration calibration;
    std::vector<TableCell> cells;
    uint64_t elapsedNs;
    bool interrupted;
    std::string failure;  // what stopped the table, empty when nothing did
    bool folderLeft;      // the folder held files the table did not make
};

// The cell's answer and how it ended, as its text and JSON say it.
struct CellVerdict {
    CapacityOutcome outcome;
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
uint64_t tableEstimateNs(const TableSetup& setup);
uint64_t tableDiskBytes(const TableSetup& setup);
