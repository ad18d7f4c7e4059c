#include "server/goodbye_hold.h"

namespace {

enet_uint16 readWord(const enet_uint8* at) {
    // Protocol words travel in network order.
    return static_cast<enet_uint16>((at[0] << 8) | at[1]);
}

// Where the payload length of a command of this kind sits, or 0 for commands that carry no payload.
std::size_t payloadLengthAt(enet_uint8 kind) {
    switch (kind) {
    case ENET_PROTOCOL_COMMAND_SEND_RELIABLE: return 4;
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE:
    case ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED:
    case ENET_PROTOCOL_COMMAND_SEND_FRAGMENT:
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT: return 6;
    default: return 0;
    }
}

const ENetPeer* senderOf(const ENetHost* host, const enet_uint8* data, std::size_t length) {
    if (length < 2) return nullptr;
    enet_uint16 peerID = readWord(data) & ~(ENET_PROTOCOL_HEADER_FLAG_MASK | ENET_PROTOCOL_HEADER_SESSION_MASK);
    if (peerID >= host->peerCount) return nullptr;
    const ENetPeer* peer = &host->peers[peerID];
    if (peer->address.host != host->receivedAddress.host || peer->address.port != host->receivedAddress.port)
        return nullptr;
    return peer;
}

}  // namespace

bool datagramHasGoodbye(const enet_uint8* data, std::size_t length) {
    if (data == nullptr || length < 2) return false;
    enet_uint16 flags = readWord(data) & ENET_PROTOCOL_HEADER_FLAG_MASK;
    // The server has no decompressor: ENet drops a compressed datagram unread.
    if (flags & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) return false;
    std::size_t at = (flags & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
    // Walk the commands as ENet does; it stops at the first one that is unknown or does not fit.
    while (at + sizeof(ENetProtocolCommandHeader) <= length) {
        enet_uint8 kind = data[at] & ENET_PROTOCOL_COMMAND_MASK;
        if (kind >= ENET_PROTOCOL_COMMAND_COUNT) return false;
        std::size_t size = enet_protocol_command_size(data[at]);
        if (size == 0 || at + size > length) return false;
        if (kind == ENET_PROTOCOL_COMMAND_DISCONNECT) return true;
        std::size_t lengthAt = payloadLengthAt(kind);
        at += size + (lengthAt != 0 ? readWord(data + at + lengthAt) : 0);
    }
    return false;
}

bool holdsGoodbye(const ENetHost* host) {
    if (host == nullptr) return false;
    const ENetPeer* peer = senderOf(host, host->receivedData, host->receivedDataLength);
    if (peer == nullptr) return false;
    if (peer->state != ENET_PEER_STATE_CONNECTED && peer->state != ENET_PEER_STATE_DISCONNECT_LATER) return false;
    // Received packets wait in dispatchedCommands until enet_host_service hands them out.
    if (enet_list_empty(&peer->dispatchedCommands)) return false;
    return datagramHasGoodbye(host->receivedData, host->receivedDataLength);
}
