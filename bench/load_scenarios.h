// Load: a timed burst from one chatter, and saturation, where every chatter keeps a few lines in
// flight and sends the next as soon as one of its own comes back.
#pragma once

#include "bench/scenarios.h"

void runBurst(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
              TargetFigures* figures);
void runSaturation(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
                   TargetFigures* figures);
