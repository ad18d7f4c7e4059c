// What the server lets ENet read of each datagram, before ENet reads it (ENet's datagram hook). ENet
// alone would queue whatever a connected peer sends as long as the bytes it counts stay under its
// limit, so a flood of empty packets would grow the server without bound. Here every peer is bounded by
// count too, a speaker is kept to its listeners' pace, a goodbye waits until the lines before it are
// handled, and one address and port holds at most one peer. What is not read now is cut off the end of
// the datagram: ENet reads the acknowledgements before it, and the sender's ENet sends the rest again.
// What is left unread is noted in the chatter's record, so that the loop cuts off a sender whose oldest
// message has waited too long (limits.h). The walk through the datagram is ENet's edge (enet_edge.h).
#pragma once

#include <enet/enet.h>

#include <cstddef>

#include "server/chat_server.h"

// Lets the hook find the record that owns the server's host, until detached.
void attachIntake(ChatServer& server);
void detachIntake(const ChatServer& server);

// ENet's hook on the server's host: 1 drops the datagram unread; otherwise the datagram may have been
// cut short before the first command ENet must not read yet.
int screenDatagram(ENetHost* host, ENetEvent* event);
