#include "bench/samples.h"

#include <algorithm>
#include <chrono>
#include <cmath>

double benchSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    // Nearest rank: the smallest sample with at least that fraction of all samples at or below it.
    double rank = std::ceil(fraction * static_cast<double>(samples.size()));
    std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    return samples[std::min(index, samples.size() - 1)];
}

SampleSummary summarize(const std::vector<double>& samples) {
    SampleSummary summary;
    summary.count = samples.size();
    summary.median = percentile(samples, 0.5);
    summary.p99 = percentile(samples, 0.99);
    summary.max = percentile(samples, 1.0);
    return summary;
}
