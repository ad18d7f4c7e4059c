// Floods of tiny packets (--tiny-packets): empty packets, 1-byte packets and valid empty lines, from one
// chatter and from 24 at once, each kind on a fresh server, while one honest chatter says a short line
// every 100 ms. What the server holds for a packet does not depend on its bytes alone, so its memory is
// read before, during and after each flood.
#pragma once

#include "bench/options.h"

int runTinyPackets(const BenchOptions& options, std::FILE* out);
