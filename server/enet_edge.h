// The server's one edge on ENet's private state: its dispatch queue, its peers' lists of received
// commands and channel counts, and its wire format. Everything else in the server uses ENet's interface
// and the records of its own; what these procedures read and write is this ENet release's (1.3.17), and
// would be checked here first against another.
#pragma once

#include <enet/enet.h>

#include <cstddef>

// This pass's event from ENet, taken so that every pass also reads the socket: with nothing waiting,
// enet_host_service with the record; otherwise the socket is read without it and a waiting event is
// taken. 1 with an event, 0 without, below 0 on a failure.
int takeEvent(ENetHost* host, ENetEvent& event);

// Messages ENet holds from the peer, received but not yet handled, counted up to the cap.
std::size_t waitingMessages(const ENetPeer* peer, std::size_t cap);
// True while packets the peer sent have been handed out by ENet but not yet taken by the loop.
bool holdsUnhandledPackets(const ENetPeer* peer);
// The last reliable sequence number ENet has read in order on the peer's channel; false for no such
// channel.
bool channelReadUpTo(const ENetPeer* peer, int channel, enet_uint16* upTo);

// The peer the datagram being received names in its header, if it really comes from that peer's address.
ENetPeer* senderOf(ENetHost* host);
// True when some peer of the host already has the address the datagram being received came from.
bool addressHasPeer(const ENetHost* host);

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
