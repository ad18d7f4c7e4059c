// Holding back a chatter's goodbye while lines it sent still wait to be handled. ENet throws away
// whatever a peer sent but the application has not taken yet the moment it reads that peer's
// DISCONNECT, so on a busy server a line typed just before quitting would be lost although ENet had
// acknowledged it. While such lines wait, a datagram carrying the peer's DISCONNECT is dropped unread;
// the client resends its goodbye until the server acknowledges it, and by then the lines are handled.
#pragma once

#include <enet/enet.h>

#include <cstddef>

// True when the datagram holds a DISCONNECT command among the commands ENet would read. A host that
// checksums its datagrams has the checksum after the header.
bool datagramHasGoodbye(const enet_uint8* data, std::size_t length, bool checksummed = false);

// True when the datagram the host has just received (receivedData) is a connected peer's goodbye
// while received packets of that peer still wait for the application: it must not be read yet.
bool holdsGoodbye(const ENetHost* host);
