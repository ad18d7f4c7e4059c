// What the server lets ENet read of each datagram, before ENet reads it (ENet's datagram hook). ENet
// alone would queue whatever a connected peer sends as long as the bytes it counts stay under its
// limit, so a flood of empty packets would grow the server without bound. Here every peer is bounded by
// count too, a speaker is kept to its listeners' pace, a goodbye waits until the lines before it are
// handled, and one address and port holds at most one peer. What is not read now is cut off the end of
// the datagram: ENet reads the acknowledgements before it, and the sender's ENet sends the rest again.
#pragma once

#include <enet/enet.h>

#include <cstddef>

#include "server/chat_server.h"

// The longest message a chatter may send: relayed with the longest name in front, it still fits in the
// longest message. A longer one is never acknowledged.
constexpr std::size_t ChatterMessageLimit = MessageLimit - NameLimit - 1;

// Lets the hook find the record that owns the server's host, until detached.
void attachIntake(ChatServer& server);
void detachIntake(const ChatServer& server);

// ENet's hook on the server's host: 1 drops the datagram unread; otherwise the datagram may have been
// cut short before the first command ENet must not read yet.
int screenDatagram(ENetHost* host, ENetEvent* event);

// Where a datagram is to be cut so that ENet reads at most `budget` new messages and, when
// holdGoodbye, nothing from a goodbye on. length is the datagram's own when nothing is cut.
struct DatagramCut {
    std::size_t length = 0;
    bool atGoodbye = false;  // the cut is at a goodbye
    std::size_t admitted = 0;  // new messages let through (a packet's later pieces are no new message)
    bool refused = false;      // a data command the sender wants acknowledged was cut off, not at a goodbye
    enet_uint8 refusedChannel = 0;
    enet_uint16 refusedUpTo = 0;  // the last such command's reliable sequence number
};
DatagramCut cutDatagram(const enet_uint8* data, std::size_t length, bool checksummed, std::size_t budget,
                        bool holdGoodbye);

// True when the datagram holds a connect request among the commands ENet would read.
bool datagramHasConnect(const enet_uint8* data, std::size_t length, bool checksummed);

// Messages ENet holds from the peer, received but not yet handled, counted up to the cap.
std::size_t waitingMessages(const ENetPeer* peer, std::size_t cap);
