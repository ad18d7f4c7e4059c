// A newcomer's first line (--first-line N): N newcomers in an idle lobby, then N in a busy one (every
// talker keeps lines in flight), each sends a line the moment its ENet reports the connection, and its
// second line as soon as the first is back; both are timed until they are back at it.
#pragma once

#include "bench/options.h"

int runFirstLine(const BenchOptions& options, std::FILE* out);
