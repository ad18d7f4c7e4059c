// The impairment relay of the test support, run in a child process of its own so that it keeps relaying
// while the benchmark's loop is busy; closing the stop pipe ends it and it hands back its figures.
#pragma once

#include "bench/impairment_relay.h"

struct RelayChild {
    int pid = -1;
    int stopFd = -1;     // closing it ends the child
    int figuresFd = -1;  // the child writes its RelayFigures here when it ends
    std::uint16_t port = 0;
};

// Opens the relay toward 127.0.0.1:serverPort and forks the child that services it.
bool startRelayChild(const LinkImpairment& impairment, std::uint16_t serverPort, RelayChild* child);
// Ends the child and returns what the relay did.
RelayFigures stopRelayChild(RelayChild* child);
