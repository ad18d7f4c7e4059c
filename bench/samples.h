// Timing samples for the benchmark: a monotonic clock and the summary figures of a set of samples
// (median, 99th percentile and maximum, by nearest rank).
#pragma once

#include <cstddef>
#include <vector>

// Seconds on a monotonic clock with an arbitrary origin.
double benchSeconds();

struct SampleSummary {
    std::size_t count = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
};

// The nearest-rank percentile (fraction in (0, 1]) of the samples; 0 when there are none.
double percentile(std::vector<double> samples, double fraction);
SampleSummary summarize(const std::vector<double>& samples);
