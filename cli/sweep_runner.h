// trakmon sweep: the real tests for every track count, and the table that
// sums them up (the table's arithmetic is in analysis/sweep.h).
#pragma once
#include <cstdint>
#include <string>

// Runs the sweep on base (write, then read, each passOutputs.repeat times,
// for each count in turn) with one request size for both tests; prints the
// disk need first, then the table (or JSON lines). Removes nothing. Returns
// true if every test completed.
bool runSweep(const std::string& base, uint32_t requestSize);
