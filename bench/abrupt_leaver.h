// Abrupt leavers (--abrupt-leaver N): in a busy lobby (every talker keeps lines in flight), N leavers in
// turn join, chat a second, say 30 lines back to back and leave at once: disconnect request, flush, host
// destroyed, so their goodbye is sent once and never again. The first talker watches each one: how many
// of its lines arrived, whether all came before its OLD, and how long after the goodbye the OLD came.
#pragma once

#include "bench/options.h"

int runAbruptLeaver(const BenchOptions& options, std::FILE* out);
