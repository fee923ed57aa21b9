// What both tests do first, before anything is shown or touched.
#pragma once
#include "engine/front_end.h"
#include "engine/outcome.h"

// testCompleted when the test may go on; otherwise why it is refused.
TestOutcome enterTest(const FrontEnd& frontEnd);
