// The server's listening ENet host: creating it, and tearing it and ENet down at the end.
// The host carries the guard against forged fragments and its size limits (see host_guard.h), and the
// intake rules for each peer (see intake.h), which learn the server's record from attachIntake.
#pragma once

#include <enet/enet.h>

#include <cstddef>

#include "common/text.h"

// A host on the address (any local address when empty) and port for peerLimit peers, or none;
// on failure it prints the server's host-creation error line.
ENetHost* createServerHost(const Text& address, enet_uint16 port, std::size_t peerLimit);
// Destroys the host, if any, then deinitialises ENet.
void closeNetwork(ENetHost* host);
