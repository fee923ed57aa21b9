// trakmon sweep: the write and the read test for every selectable track count
// on one base file name, summed up in one table.
//
// Disk space: track count N rewrites BASE.001 .. BASE.N, and the counts run in
// increasing order, so every file an earlier count wrote is truncated and
// rewritten by each later count. The bytes on disk at any moment are those
// of one plan at most, and the space the sweep needs is that of its largest
// test (1 or 2 tracks: 99,614,720 bytes) plus the write test's reserve. The
// sum of the largest size each of the 72 file numbers reaches over the sweep
// (353,894,400 bytes) is what the sweep writes into distinct files; it would
// sit on disk at once only if the files were not rewritten, and it is shown
// for reference. After the sweep the 72 files of the last count remain.
//
// Verdict per format and track count: the worse (smaller) margin of the write
// and the read test, since a recorder that plays back while it records needs
// both directions to keep up; no verdict unless both tests completed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "analysis/audio_analysis.h"
#include "engine/outcome.h"
#include "engine/plan.h"

struct SweepDiskNeed {
    uint64_t largestTestBytes;     // the largest totalTestBytes over the sweep
    uint64_t freeBytesNeeded;      // more than this must be free when that test starts
    uint64_t largestFileSizesSum;  // sum over file numbers of the largest size each reaches
    uint64_t bytesLeftAfter;       // the files of the last count
};

SweepDiskNeed sweepDiskNeed(const uint32_t* trackCounts, uint32_t countCount);

// existingSizes[k] is the size of BASE.(k+1) before the sweep (0 when absent).
// Each count N first truncates files 1..N, so its write test sees
// freeBytesNow + existingSizes[0..N-1] free. Returns the first count that
// would find too little room (the write test's own condition), 0 if none.
uint32_t firstCountShortOfSpace(const uint32_t* trackCounts, uint32_t countCount,
                                uint64_t freeBytesNow, const uint64_t* existingSizes);

struct SweepRow {
    uint32_t trackCount;
    TestOutcome writeOutcome;
    TestOutcome readOutcome;
    bool readRun;  // the read test runs only after a completed write test
    PassAnalysis write;
    PassAnalysis read;
};

struct SweepCell {
    bool known;
    double margin;
    StreamVerdict verdict;
};

SweepCell sweepCell(const SweepRow& row, uint32_t formatIndex);
bool sweepRowCompleted(const SweepRow& row);

std::string formatSweepNeed(const SweepDiskNeed& need);
// The verdict columns are those of formats, which the rows were analysed for.
std::string formatSweepTable(const std::vector<SweepRow>& rows, uint32_t requestSize,
                             const VerdictFormats& formats = reportVerdictFormats());
nlohmann::json sweepNeedJson(const SweepDiskNeed& need);
nlohmann::json sweepJson(const std::vector<SweepRow>& rows, uint32_t requestSize,
                         const VerdictFormats& formats = reportVerdictFormats());
