// The last line before quitting: while the other chatters keep the server busy (each keeps a few lines
// in flight and sends the next as one of its own comes back), a quitter joins, says a line, lets one
// pass of the client's loop go by and leaves, either the way chat-client leaves (leaveServer) or
// abruptly (disconnect, flush, destroy at once). A chatter of the lobby watches for the line and for
// the quitter's leave notice. Prints one table.
#pragma once

#include <cstdio>

#include "bench/scenarios.h"

void runLastLine(BenchTarget* target, const BenchSettings& settings, int rounds, std::FILE* out);
