// The engine's readings of a pass (PassReadings) as a front end keeps them:
// the start of the (last) pass, and the end of each of its completed requests.
#pragma once
#include <cstdint>
#include <vector>

struct PassTimings {
    uint64_t startNs = 0;
    std::vector<uint64_t> requestEndNs;  // one per completed request
};
