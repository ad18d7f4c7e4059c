// Joining, relay latency and the WHO list: one request at a time, timed from send to arrival.
#pragma once

#include "bench/scenarios.h"

void runJoin(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
             TargetFigures* figures);
void runLatency(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
                TargetFigures* figures);
void runWho(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
            TargetFigures* figures);
