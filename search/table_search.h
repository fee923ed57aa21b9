// The table's searches as decisions on measured figures: a disk's time per
// request against the request's size (a fixed cost and a cost per byte, for
// writing and for reading, fitted to calibration measurements), the count
// of every cell predicted from it, and the cell's search, which starts at
// the prediction and confirms it in real-time trials. Like the capacity
// search it runs nothing and reads no clock.
#pragma once
#include <cstdint>
#include <vector>

#include "search/capacity_search.h"
#include "search/search_settings.h"

// The time inside one request of requestSize bytes, measured.
struct CostSample {
    uint32_t requestSize;
    bool write;
    double requestNs;
};

// requestNs = fixedNs + nsPerByte * size, fitted by least squares.
struct CostLine {
    bool valid;  // at least two sizes measured
    double fixedNs;
    double nsPerByte;
    uint32_t samples;
    double worstMiss;  // the largest |measured / fitted - 1| of its samples
};

struct RequestCostModel {
    CostLine write;
    CostLine read;
};

RequestCostModel fitRequestCost(const std::vector<CostSample>& samples);
// The model from the calibration's samples where no trial measured, and
// from the trials' (their median, each size and direction) where one did:
// a trial's requests meet the disk as the cells' will, thousands of files
// at once, where the calibration's meet it with a few.
RequestCostModel refineRequestCost(const std::vector<CostSample>& calibration,
                                   const std::vector<CostSample>& trials);
// The fitted time of one request; never below a nanosecond.
double fittedRequestNs(const CostLine& line, uint32_t requestSize);

// The count of units whose requests keep the disk busy for targetBusy of
// the time: each track asks bytesPerSecond / requestSize requests a second.
// At least 1, at most limit; 0 when the model cannot tell.
uint32_t predictCellCount(const RequestCostModel& model, const SearchMode& mode,
                          uint32_t bytesPerSecond, uint32_t requestSize, double targetBusy,
                          uint32_t limit);

// How a cell is searched: from its prediction, steps of `step` (a share of
// the count) that double while the trials keep to one side, until a count
// that passed `repeat` times lies within one step below one that failed.
struct CellRules {
    uint32_t limit;
    uint32_t repeat;
    double requiredShare;  // headroom / buffer a trial must keep
    double targetBusy;
    double step;
    uint32_t prediction;
};

// The next count to try, 0 when the cell is done (or cannot go on).
uint32_t nextCellCount(const CellRules& rules, const std::vector<TrialResult>& trials,
                       uint32_t trialsLeft);
// The cell's answer, as the capacity search gives one.
SearchAnswer cellAnswer(const CellRules& rules, const std::vector<TrialResult>& trials);
