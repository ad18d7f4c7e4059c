#include "server/goodbye_hold.h"

#include "common/datagram_walk.h"

namespace {

const ENetPeer* senderOf(const ENetHost* host, const enet_uint8* data, std::size_t length) {
    if (length < 2) return nullptr;
    enet_uint16 peerID = protocolWord(data) & ~(ENET_PROTOCOL_HEADER_FLAG_MASK | ENET_PROTOCOL_HEADER_SESSION_MASK);
    if (peerID >= host->peerCount) return nullptr;
    const ENetPeer* peer = &host->peers[peerID];
    if (peer->address.host != host->receivedAddress.host || peer->address.port != host->receivedAddress.port)
        return nullptr;
    return peer;
}

}  // namespace

bool datagramHasGoodbye(const enet_uint8* data, std::size_t length, bool checksummed) {
    // The server has no decompressor: ENet drops a compressed datagram unread, and the walk is empty.
    CommandWalk walk = startWalk(data, length, checksummed);
    while (const enet_uint8* command = nextCommand(&walk))
        if (commandKind(command) == ENET_PROTOCOL_COMMAND_DISCONNECT) return true;
    return false;
}

bool holdsGoodbye(const ENetHost* host) {
    if (host == nullptr) return false;
    const ENetPeer* peer = senderOf(host, host->receivedData, host->receivedDataLength);
    if (peer == nullptr) return false;
    if (peer->state != ENET_PEER_STATE_CONNECTED && peer->state != ENET_PEER_STATE_DISCONNECT_LATER) return false;
    // Received packets wait in dispatchedCommands until enet_host_service hands them out.
    if (enet_list_empty(&peer->dispatchedCommands)) return false;
    return datagramHasGoodbye(host->receivedData, host->receivedDataLength, host->checksum != nullptr);
}
