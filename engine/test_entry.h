// What both tests do first, before anything is shown or touched.
#pragma once
#include "engine/front_end.h"
#include "engine/outcome.h"
#include "engine/plan.h"
#include "engine/results_report.h"

// Refuses a front end with a null operation and settings outside the
// choices; otherwise plans the test of kind from TestSettings into plan,
// hands the plan to the front end and returns testCompleted.
TestOutcome enterTest(const FrontEnd& frontEnd, TestKind kind, TestPlan& plan);
