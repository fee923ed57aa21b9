// The table's searches as decisions on measured figures: a disk's time per
// request against the request's size (a fixed cost and a cost per byte, for
// writing and for reading, fitted to calibration measurements), the
// headroom a track costs as the trials show it, the count of every cell
// predicted from both, and the cell's search, which starts at the
// prediction and confirms it in real-time trials. Like the capacity search
// it runs nothing and reads no clock.
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

// What one cell is, as its prediction and its search need it.
struct CellShape {
    SearchMode mode;
    uint32_t bytesPerSecond;  // one track of the format
    uint32_t requestSize;
    double bufferSeconds;
    double bestShare;      // the most headroom / buffer a trial can show: all but one request
    double requiredShare;  // headroom / buffer a trial must keep
    double targetBusy;     // the busy share the rule allows
    double drainBusy;      // through the file cache: the device's busy share it allows
    bool throughCache;
};

// The headroom one track of a direction cost at a request size, as a
// trial near a cell's boundary showed it (seconds per track).
struct QueueSample {
    uint32_t requestSize;
    bool write;
    double secondsPerTrack;
};

// The disk as the table knows it so far: the time inside a request (the
// calibration's, refined by the trials), the headroom a track costs (the
// cells' trials), and through the file cache how fast the device drains.
struct TableModel {
    RequestCostModel cost;
    std::vector<QueueSample> queue;
    double drainBytesPerSecond;  // 0: unknown
    // A cell that records and plays at once against the sum of its two
    // directions' costs, as the last such cell's trials showed it: a disk
    // that queues writes and reads apart carries more than the sum says.
    // 0: none tried yet.
    double mixedScale;
};

// The headroom a track of one direction costs at requestSize: as a cell's
// trials showed it at that size; else scaled by the time per request from
// another size of the direction, or from the other direction; else one
// request's time, as a burst of requests that arrive together and are
// served one after another costs the last of them.
double queueSecondsPerTrack(const TableModel& model, uint32_t requestSize, bool write);
// The units of a cell that keep the rule by the model: the fewest of those
// at which the headroom reaches the rule, the disk is as busy as the rule
// allows, or (through the file cache) the recording outruns the drain. At
// least 1, at most limit; 0 when the model cannot tell.
uint32_t predictCell(const TableModel& model, const CellShape& shape, uint32_t limit);
// What a cell's trials teach the model: the headroom a track cost
// in its trial nearest the boundary, for a cell of one direction.
void learnFromCell(TableModel& model, const CellShape& shape, const std::vector<TrialResult>& trials);

// How a cell is searched: from its prediction to where its own trials aim
// (the headroom a unit cost, the busy share), in steps of at least `step`
// (a share of the count), until a count that passed `repeat` times lies
// within one step below one that failed.
struct CellRules {
    uint32_t limit;
    uint32_t repeat;
    double requiredShare;  // headroom / buffer a trial must keep
    double targetBusy;
    double step;
    uint32_t prediction;
    double bestShare;        // the most headroom / buffer a trial can show
    double requestsPerUnit;  // requests a second one unit of the cell asks of the disk
    double recordBytesPerUnit;  // bytes a second one unit records (through the file cache: to drain)
    double drainBusy;           // the busy share of the device the rule allows
    // Played through the file cache: the kernel reads ahead, so a trial's
    // headroom and busy share hide the disk until it saturates.
    bool readAhead;
};

// Where the cell's own trials put the units that keep the rule: a trial
// that kept some headroom tells what a unit cost of it (two of them, how it
// falls with the count), the time inside its requests how much of the disk
// a unit takes, and through the file cache the device's drain how much
// recording it takes; the lowest of them. 0 when no trial tells.
double cellAim(const CellRules& rules, const std::vector<TrialResult>& trials);

// The next count to try, 0 when the cell is done (or cannot go on).
uint32_t nextCellCount(const CellRules& rules, const std::vector<TrialResult>& trials,
                       uint32_t trialsLeft);
// How far a cell that reached the most a trial may hold would go: what its
// largest trial showed, and where its trials aim beyond it (a prediction).
struct CellReach {
    uint32_t count;        // its largest trial's units
    double busyShare;
    double headroomShare;
    uint32_t beyond;       // units the trials aim at; 0 when they cannot tell
};
CellReach cellReach(const CellRules& rules, const std::vector<TrialResult>& trials);

// The cell's answer, as the capacity search gives one.
SearchAnswer cellAnswer(const CellRules& rules, const std::vector<TrialResult>& trials);
// The time a cell may spend on its next trials (ns): what the deadline
// leaves once the later cells' owed time is kept, but never less than what
// remains of the cell's fair share, its part of the time left when it began
// (that ends at fairEndNs), so that later cells owed more than is left
// cannot starve it of every trial.
uint64_t cellBudgetNs(uint64_t nowNs, uint64_t deadlineNs, uint64_t owedNs, uint64_t fairEndNs);
// The end of a cell's fair share: the time left at its start over the cells
// from it to the last.
uint64_t cellFairEndNs(uint64_t startNs, uint64_t deadlineNs, size_t cellsFromHere);

// True when the cell's bracket is tight and only the answer's repeats are
// missing: a trial or two from settled.
bool cellConfirming(const CellRules& rules, const std::vector<TrialResult>& trials);
