// What the benchmark measures against: the chat server it starts (console to a pipe, a file or
// terminal, or a tmux pane), a chat server already running, or the baseline relay.
#pragma once

#include "bench/options.h"
#include "bench/scenarios.h"

// True when some local UDP socket is bound to the port (from /proc/net/udp and udp6).
bool udpPortBound(enet_uint16 port);

bool startServerTarget(const BenchOptions& options, BenchTarget* target, Text* error);
bool startBaselineTarget(BenchTarget* target, Text* error);
// Stops what startServerTarget or startBaselineTarget started; a server started elsewhere is left alone.
void stopTarget(BenchTarget* target);
