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

// Says goodbye to the server and waits, at most LeaveWaitMs, until the server has taken the goodbye.
// The goodbye leaves only once every line sent before it is acknowledged, so a line typed just before
// quitting is not lost on the way; waiting for the server's answer also lets it resend the goodbye.
void leaveServer(ENetHost* host, ENetPeer* peer);
constexpr int LeaveWaitMs = 500;

// Destroys the host, when there is one, and takes ENet down.
void closeNetwork(ENetHost* host);
