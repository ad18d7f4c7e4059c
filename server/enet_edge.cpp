#include "server/enet_edge.h"

#include "common/datagram_walk.h"

namespace {

bool isData(enet_uint8 kind) {
    switch (kind) {
    case ENET_PROTOCOL_COMMAND_SEND_RELIABLE:
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE:
    case ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED:
    case ENET_PROTOCOL_COMMAND_SEND_FRAGMENT:
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT: return true;
    default: return false;
    }
}

std::size_t listLength(const ENetList* list, std::size_t cap) {
    std::size_t length = 0;
    for (const ENetListNode* node = list->sentinel.next; node != &list->sentinel && length < cap; node = node->next)
        ++length;
    return length;
}

// A data command that starts a message: a whole packet, or the first piece of one.
bool startsMessage(const enet_uint8* command) {
    enet_uint8 kind = commandKind(command);
    if (kind == ENET_PROTOCOL_COMMAND_SEND_FRAGMENT || kind == ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT)
        return protocolLong(command + 12) == 0;
    return isData(kind);
}

// True while a newcomer's connection waits for the acknowledgement that completes it.
bool handshakeWaiting(const ENetHost* host) {
    for (std::size_t i = 0; i < host->peerCount; ++i)
        if (host->peers[i].state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT) return true;
    return false;
}

// Reads the socket with the event record although events wait. Read without one, the datagram that
// completes a newcomer's connection leaves it pending, and ENet drops the line that came with it (the
// client sends it again half a second later); but with one, ENet would hand out a waiting event instead
// of reading. So the waiting peers are set aside for the call and put back at the head of the queue.
int serviceBehindQueue(ENetHost* host, ENetEvent& event) {
    ENetList waiting;
    enet_list_clear(&waiting);
    ENetList* queue = &host->dispatchQueue;
    enet_list_move(enet_list_end(&waiting), enet_list_front(queue), enet_list_back(queue));
    int got = enet_host_service(host, &event, 0);
    if (!enet_list_empty(&waiting))
        enet_list_move(enet_list_begin(queue), enet_list_front(&waiting), enet_list_back(&waiting));
    return got;
}

}  // namespace

// Asked with an event record, this ENet hands out a queued event before it touches the socket, so while
// events wait the socket is read without one: ENet sends what is due, reads the datagrams that wait (up
// to 256), acknowledges them, checks timeouts and queues their events. Unless a newcomer's handshake is
// about to complete: then the read is made with the record, behind the queue.
int takeEvent(ENetHost* host, ENetEvent& event) {
    if (enet_list_empty(&host->dispatchQueue)) return enet_host_service(host, &event, 0);
    if (handshakeWaiting(host)) {
        int got = serviceBehindQueue(host, event);
        if (got != 0) return got;
    } else {
        enet_host_service(host, nullptr, 0);
    }
    return enet_host_check_events(host, &event);
}

std::size_t waitingMessages(const ENetPeer* peer, std::size_t cap) {
    // Handed-out packets wait in dispatchedCommands; packets still incomplete or out of order wait in
    // their channel.
    std::size_t waiting = listLength(&peer->dispatchedCommands, cap);
    for (std::size_t i = 0; i < peer->channelCount && waiting < cap; ++i) {
        waiting += listLength(&peer->channels[i].incomingReliableCommands, cap - waiting);
        waiting += listLength(&peer->channels[i].incomingUnreliableCommands, cap - waiting);
    }
    return waiting;
}

bool holdsUnhandledPackets(const ENetPeer* peer) { return !enet_list_empty(&peer->dispatchedCommands); }

bool channelReadUpTo(const ENetPeer* peer, int channel, enet_uint16* upTo) {
    if (channel < 0 || static_cast<std::size_t>(channel) >= peer->channelCount) return false;
    *upTo = peer->channels[channel].incomingReliableSequenceNumber;
    return true;
}

ENetPeer* senderOf(ENetHost* host) {
    if (host->receivedDataLength < 2) return nullptr;
    enet_uint16 peerID = protocolWord(host->receivedData) &
                         ~(ENET_PROTOCOL_HEADER_FLAG_MASK | ENET_PROTOCOL_HEADER_SESSION_MASK);
    if (peerID >= host->peerCount) return nullptr;
    ENetPeer* peer = &host->peers[peerID];
    if (peer->address.host != host->receivedAddress.host || peer->address.port != host->receivedAddress.port)
        return nullptr;
    return peer;
}

bool addressHasPeer(const ENetHost* host) {
    for (std::size_t i = 0; i < host->peerCount; ++i) {
        const ENetPeer& peer = host->peers[i];
        if (peer.state != ENET_PEER_STATE_DISCONNECTED && peer.address.host == host->receivedAddress.host &&
            peer.address.port == host->receivedAddress.port)
            return true;
    }
    return false;
}

DatagramCut cutDatagram(const enet_uint8* data, std::size_t length, bool checksummed, std::size_t budget,
                        bool holdGoodbye) {
    DatagramCut cut;
    cut.length = length;
    CommandWalk walk = startWalk(data, length, checksummed);
    while (const enet_uint8* command = nextCommand(&walk)) {
        enet_uint8 kind = commandKind(command);
        bool goodbye = holdGoodbye && kind == ENET_PROTOCOL_COMMAND_DISCONNECT;
        bool starts = startsMessage(command);
        if (cut.length == length && (goodbye || (starts && cut.admitted == budget))) {
            cut.length = static_cast<std::size_t>(command - data);
            cut.atGoodbye = goodbye;
        }
        if (cut.length == length) {
            cut.admitted += starts ? 1 : 0;
        } else if (!cut.atGoodbye && isData(kind) && (command[0] & ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE) != 0) {
            cut.refused = true;
            cut.refusedChannel = command[1];
            cut.refusedUpTo = protocolWord(command + 2);
        }
    }
    return cut;
}

bool datagramHasConnect(const enet_uint8* data, std::size_t length, bool checksummed) {
    CommandWalk walk = startWalk(data, length, checksummed);
    while (const enet_uint8* command = nextCommand(&walk))
        if (commandKind(command) == ENET_PROTOCOL_COMMAND_CONNECT) return true;
    return false;
}

