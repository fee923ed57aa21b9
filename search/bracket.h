// What both searches read of their trials: the bracket between the largest
// count that passed and the smallest that failed, how often a count was
// tried, and the step inside the bracket. Internal to search/.
#pragma once
#include <cstdint>
#include <vector>

#include "search/capacity_search.h"

// No count failed.
const uint32_t noFailure = UINT32_MAX;
// A difference in headroom this small (a share of the buffer) is a disk's
// noise, no trend.
const double headroomNoise = 0.04;

uint32_t smallestFailed(const std::vector<TrialResult>& trials);
// The largest count below `below` that passed at least once, 0 for none.
uint32_t largestPassed(const std::vector<TrialResult>& trials, uint32_t below);
uint32_t passesAt(const std::vector<TrialResult>& trials, uint32_t count);
uint32_t trialsAt(const std::vector<TrialResult>& trials, uint32_t count);
uint32_t distinctCounts(const std::vector<TrialResult>& trials);
// A count at or above `failed` passed before: the disk slowed, or sits at
// its boundary either way, so the boundary lies just below `failed`.
bool passedAtOrAbove(const std::vector<TrialResult>& trials, uint32_t failed);
// The latest trial of a count: its margin and busy share stand for it.
const TrialResult* latestAt(const std::vector<TrialResult>& trials, uint32_t count);
double margin(const SearchRules& rules, const TrialResult& trial);
bool bracketIsTight(const SearchRules& rules, uint32_t passed, uint32_t failed);
uint32_t clampCount(double value, uint32_t low, uint32_t high);
// Inside the bracket: where the margin, interpolated, crosses zero; the
// midpoint when the last two trials fell on the same side (interpolation
// alone can creep up on a curved margin from one side); moved to where the
// trial closes the bracket when that is near.
// hint: an aim of the caller's to use instead of the interpolation (0: none).
uint32_t aimInside(const SearchRules& rules, const std::vector<TrialResult>& trials,
                   uint32_t passed, uint32_t failed, double hint = 0);
