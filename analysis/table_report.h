// trakmon table's words, JSON and picture (search/table_plan.h holds what
// they say).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "analysis/bar_chart.h"
#include "analysis/capacity_report.h"
#include "search/table_plan.h"

std::string formatTablePlan(const TableSetup& setup);
std::string formatTable(const TableSetup& setup, const TableRun& run);
// "no-track-fits", "drain-unmeasurable", "trial-failed"; null for none.
nlohmann::json tableStopName(TableStop stop);
nlohmann::json tableJson(const TableSetup& setup, const TableRun& run, PathText pathText);
BarChart tableChart(const TableSetup& setup, const TableRun& run);
