// Long lines held for one chatter that does not take them: a peer that stops acknowledging (--silent-peer)
// and an honest chatter behind a slow link (--slow-reader), while the talkers chat on.
#pragma once

#include "bench/options.h"

int runSilentPeer(const BenchOptions& options, std::FILE* out);
int runSlowReader(const BenchOptions& options, std::FILE* out);
