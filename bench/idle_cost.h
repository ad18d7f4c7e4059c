// The cost of an idle lobby: CPU and peak memory of the target, and of one real chat-client connected
// beside the simulated chatters, over a quiet period; plus every scenario in order (measureTarget).
#pragma once

#include "bench/scenarios.h"

void runIdleCost(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
                 TargetFigures* figures);
// Every scenario in turn against the target, with fresh chatters that are closed at the end.
TargetFigures measureTarget(BenchTarget* target, const BenchSettings& settings);
