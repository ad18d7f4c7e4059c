// The transport limit the chat server is compared with: a minimal ENet relay that speaks the chat's
// protocol (welcome, NEW, SAY relay, WHO list, OLD) but waits for traffic in ENet's service call, handles
// every waiting event at once, and neither pauses nor traces. It runs in a child process of its own.
#pragma once

#include <enet/enet.h>

#include "bench/child_process.h"

// Forks the relay on 127.0.0.1 at an ephemeral port (returned in port). The relay ends when the
// child's inputFd is closed, or after maxSeconds at the latest.
bool startBaselineRelay(ChildProcess* relay, enet_uint16* port, double maxSeconds, Text* error);
