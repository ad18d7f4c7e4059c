// Bad links: the chatters reach the server through the impairment relay of the test support, run in a
// child process of its own, with a given loss each way, 25 ms +/- 15 ms one-way delay and 1 %
// duplication. A run counts what each chatter received (every line exactly once, in each sender's
// order), the delivery latency and the chatters ENet gave up; the sweep repeats runs at several losses
// and prints one table with the range of each figure over the runs.
#pragma once

#include <cstdio>
#include <vector>

#include "bench/samples.h"
#include "bench/scenarios.h"
#include "bench/impairment_relay.h"

struct LinkSettings {
    std::vector<double> losses = {1, 5, 10, 20, 30};
    int runs = 5;
    double sendSeconds = 15;   // each chatter sends one line per lineInterval for this long
    double lineInterval = 1.0;
    double delayMs = 25;
    double jitterMs = 15;
    double duplicatePercent = 1;
};

struct LinkRun {
    double lossPercent = 0;
    int chatters = 0;
    int joined = 0;        // welcomed and announced within the join time
    int dropped = 0;       // joined, then given up by ENet during the run
    long lines = 0;        // lines sent
    long owed = 0;         // deliveries owed between chatters that stayed connected, senders included
    long delivered = 0;    // of those, arrived at least once
    long duplicates = 0;   // a line that arrived at a chatter more than once
    long outOfOrder = 0;   // a line that arrived after a later line of the same sender
    SampleSummary latency; // ms from the send to each arrival, owed deliveries only
    double seconds = 0;    // the whole run, join and drain included
    RelayFigures relay;
};

// One run against the target (its port is the server's): fresh relay, fresh chatters.
LinkRun runImpairedLink(BenchTarget* target, const BenchSettings& settings, const LinkSettings& link,
                        double lossPercent, std::uint64_t seed);
// Every loss of the settings, runs times each; prints a line per run on progress, then the table.
void runLossSweep(BenchTarget* target, const BenchSettings& settings, const LinkSettings& link, std::FILE* out,
                  std::FILE* progress);
