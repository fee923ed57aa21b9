#include "session/latency_histogram.h"

#include <algorithm>

void clearLatencies(LatencyHistogram& histogram)
{
    histogram.count = 0;
    histogram.minNs = 0;
    histogram.maxNs = 0;
    std::fill(histogram.buckets, histogram.buckets + latencyBucketCount, 0);
}

// The power of two at or below ns (ns > 0).
static uint32_t topBit(uint64_t ns)
{
    return 63 - static_cast<uint32_t>(__builtin_clzll(ns));
}

uint32_t latencyBucket(uint64_t ns)
{
    if (ns < latencyExactBelow) return static_cast<uint32_t>(ns);
    uint32_t power = topBit(ns);  // 8 .. 63
    uint32_t step = power - 7;    // the bucket width is 2^step
    return latencyExactBelow + (power - 8) * latencySubBuckets +
           static_cast<uint32_t>(ns >> step) - latencySubBuckets;
}

uint64_t latencyBucketLow(uint32_t bucket)
{
    if (bucket < latencyExactBelow) return bucket;
    uint32_t above = bucket - latencyExactBelow;
    uint32_t step = above / latencySubBuckets + 1;
    return static_cast<uint64_t>(latencySubBuckets + above % latencySubBuckets) << step;
}

uint64_t latencyBucketMiddle(uint32_t bucket)
{
    if (bucket < latencyExactBelow) return bucket;
    uint32_t step = (bucket - latencyExactBelow) / latencySubBuckets + 1;
    return latencyBucketLow(bucket) + (uint64_t(1) << (step - 1));
}

void addLatency(LatencyHistogram& histogram, uint64_t ns)
{
    if (histogram.count == 0 || ns < histogram.minNs) histogram.minNs = ns;
    if (histogram.count == 0 || ns > histogram.maxNs) histogram.maxNs = ns;
    ++histogram.count;
    ++histogram.buckets[latencyBucket(ns)];
}

uint64_t latencyPercentile(const LatencyHistogram& histogram, uint32_t percent)
{
    uint64_t count = histogram.count;
    if (count == 0) return 0;
    // ceil(percent x count / 100) without overflow.
    uint64_t rank = percent * (count / 100) + (percent * (count % 100) + 99) / 100;
    rank = std::min(std::max<uint64_t>(rank, 1), count);
    uint64_t seen = 0;
    uint32_t bucket = 0;
    while (seen + histogram.buckets[bucket] < rank) seen += histogram.buckets[bucket++];
    return std::min(std::max(latencyBucketMiddle(bucket), histogram.minNs), histogram.maxNs);
}

LatencySummary summariseLatencies(const LatencyHistogram& histogram)
{
    LatencySummary summary{};
    summary.minNs = histogram.minNs;
    summary.maxNs = histogram.maxNs;
    summary.medianNs = latencyPercentile(histogram, 50);
    summary.p99Ns = latencyPercentile(histogram, 99);
    return summary;
}
