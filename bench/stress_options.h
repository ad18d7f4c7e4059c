// The stress options for the ways one chatter, hostile or unlucky, can deny the lobby to the others: a
// peer that stops acknowledging, a slow reader, floods of tiny packets, half-open connects, a newcomer's
// first line and an abrupt leaver. Each starts the server of the options (or uses the one running),
// runs to its end by itself, prints its figures with the common three (the others' longest silence,
// the delay of their short lines, the server's peak memory) and asserts nothing; every wait is bounded.
#pragma once

#include <cstdio>

#include "bench/options.h"

// True when the options name one of the runs below; runStressOption runs it.
bool chosenStressOption(const BenchOptions& options);
int runStressOption(const BenchOptions& options, std::FILE* out);

// Each returns 0 when it ran (whatever it measured), 1 when it could not run at all.
int runSilentPeer(const BenchOptions& options, std::FILE* out);
int runSlowReader(const BenchOptions& options, std::FILE* out);
int runTinyPackets(const BenchOptions& options, std::FILE* out);
int runHalfOpen(const BenchOptions& options, std::FILE* out);
int runFirstLine(const BenchOptions& options, std::FILE* out);
int runAbruptLeaver(const BenchOptions& options, std::FILE* out);

// Starts the server of the options and prints its label; false with the reason printed on stderr.
bool startStressServer(const BenchOptions& options, BenchTarget* target, std::FILE* out);
// The lobby's talkers for a stress run: 10, or fewer when --chatters (or --smoke) asks for fewer.
int stressTalkers(const BenchOptions& options);
struct StressLobby;
// Starts the server and joins the lobby's talkers (10 s at most); false, with everything stopped again
// and the reason printed on stderr, when either fails.
bool startStressLobby(const BenchOptions& options, BenchTarget* target, StressLobby* lobby, std::FILE* out);
