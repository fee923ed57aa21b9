// Request latencies in a histogram of fixed size, so that a session of any
// length keeps the same few kilobytes for its latency figures.
//
// Log-linear buckets: every value below 256 ns has a bucket of its own;
// above, each power of two [2^e, 2^(e+1)) is cut into 128 buckets of equal
// width 2^(e-7). A bucket is thus at most 1/128 of the values in it wide,
// and its middle is within 1/256 of any of them. The buckets cover every
// uint64_t nanosecond count (584 years). Integer arithmetic only, so that
// every build puts every value in the same bucket.
#pragma once
#include <cstdint>


// Least, median, 99th percentile and largest request latency.
struct LatencySummary {
    uint64_t minNs;
    uint64_t medianNs;
    uint64_t p99Ns;
    uint64_t maxNs;
};

const uint32_t latencyExactBelow = 256;   // values below stand for themselves
const uint32_t latencySubBuckets = 128;   // per power of two above
const uint32_t latencyBucketCount = latencyExactBelow + (64 - 8) * latencySubBuckets;
// The most a percentile differs from the latency it stands for, relative to it.
const double latencyRelativeError = 1.0 / 256;

struct LatencyHistogram {
    uint64_t count;
    uint64_t minNs;  // exact
    uint64_t maxNs;  // exact
    uint64_t buckets[latencyBucketCount];
};

void clearLatencies(LatencyHistogram& histogram);
uint32_t latencyBucket(uint64_t ns);
// The lowest value of a bucket, and its middle (what a percentile reports).
uint64_t latencyBucketLow(uint32_t bucket);
uint64_t latencyBucketMiddle(uint32_t bucket);
void addLatency(LatencyHistogram& histogram, uint64_t ns);
// Nearest rank (the ceil(percent / 100 x count)-th smallest value) of
// percent in 1 .. 100: the middle of its bucket, kept within the exact
// min and max; 0 for no values.
uint64_t latencyPercentile(const LatencyHistogram& histogram, uint32_t percent);
// Least, median, 99th percentile and largest; all 0 for none.
LatencySummary summariseLatencies(const LatencyHistogram& histogram);
