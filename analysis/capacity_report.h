// trakmon capacity's words and JSON: its plan, the sentence of its answer,
// the table of its trials (search/capacity_plan.h holds what they say).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "analysis/session_report.h"
#include "search/capacity_plan.h"
#include "search/trial_bench.h"

// The other searches' folders beside the base, a line each.
std::string otherSearchFoldersText(const std::vector<SearchFolder>& others);
// What the search needs: the settings, the folder, the disk space, the time.
std::string formatCapacityPlan(const CapacitySetup& setup);
// The one sentence of the answer; "records" only for an answer with a bracket.
std::string capacitySentence(const CapacitySetup& setup, const CapacityVerdict& verdict);
std::string formatCapacityTable(const std::vector<SearchTrial>& trials);
// One trial as JSON: its session, whether it passed and its times.
nlohmann::json capacityTrialJson(const SearchTrial& trial, PathText pathText);
// What stopped a search (null for nothing): the step that failed and its file.
nlohmann::json trialFailureJson(const TrialFailure& failure, PathText pathText);
// A drift as JSON (null when no count was measured twice); countKey names the count.
nlohmann::json searchDriftJson(const SearchDrift& drift, const char* countKey);
// elapsedNs: the whole command's time (search, take and clearing up), which the
// estimate stands beside; the search's own time comes from run.
nlohmann::json capacityJson(const CapacitySetup& setup, const CapacityVerdict& verdict,
                            const SearchRun& run, const std::vector<SearchTrial>& trials,
                            uint64_t elapsedNs, PathText pathText);
