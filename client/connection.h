// The client's connection: ENet up and down, and the host with its one connection request to the
// server. The request is not awaited; the event display reports how it ends.
#pragma once

#include <enet/enet.h>

#include "common/text.h"

// Brings ENet up. 0 on success; -1 after printing the failure line.
int initNetwork();

// Creates a host for one peer and asks ENet to connect it to the address and port with that many
// channels. Returns the host and stores the server's peer in *peer; on failure prints the failure
// line and returns none.
ENetHost* connectToServer(const Text& address, enet_uint16 port, int channelCount, ENetPeer** peer);

// Destroys the host, when there is one, and takes ENet down.
void closeNetwork(ENetHost* host);
