// Half-open connects: the datagram that asks an ENet host for a connection, forged with ENet's own
// protocol structures, for a sender that never completes the handshake.
#pragma once

#include <enet/enet.h>

#include "common/text.h"

// One datagram: the protocol header (peer ID 0xFFF, for a peer not yet known, with its sent time) and
// one CONNECT command that asks to be acknowledged, for the channels of the chat, a 1400-byte MTU and
// the largest window. outgoingPeerID and connectID tell the connects of one socket apart.
Text forgedConnect(enet_uint16 outgoingPeerID, enet_uint32 connectID, enet_uint16 sentTime);
