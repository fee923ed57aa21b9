// trakmon table's words, JSON and picture (search/table_plan.h holds what
// they say).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/bar_chart.h"
#include "analysis/capacity_report.h"
#include "search/table_plan.h"

// "record only", "play back only", "overdub 1:3".
std::string cellModeText(const CellMode& mode);
std::string formatTablePlan(const TableSetup& setup);
std::string formatTable(const TableSetup& setup, const TableRun& run);
nlohmann::json tableJson(const TableSetup& setup, const TableRun& run);
BarChart tableChart(const TableSetup& setup, const TableRun& run);
