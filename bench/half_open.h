// Half-open connects (--half-open N): one UDP socket sends N forged connect requests and never completes
// them, once, then again resending new ones every 500 ms for 10 s, each on a fresh server; meanwhile two
// talkers chat, and a newcomer connects the normal way (0.2 s after the connects, or 2 s into the
// resending; again each time ENet gives its attempt up) until it is welcomed or the time is up.
#pragma once

#include "bench/options.h"

int runHalfOpen(const BenchOptions& options, std::FILE* out);
