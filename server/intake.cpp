#include "server/intake.h"

#include <vector>

#include "common/datagram_walk.h"
#include "common/host_guard.h"
#include "server/roster.h"

namespace {

// ENet's hook is given the host alone; the records that own the hosts are found here.
std::vector<ChatServer*> owners;

ChatServer* ownerOf(const ENetHost* host) {
    for (ChatServer* server : owners)
        if (server->host == host) return server;
    return nullptr;
}

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

// The peer the datagram names in its header, if it really comes from that peer's address.
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

// How many more messages ENet may read from the peer now: none while its chatter is held back. The
// chatter's count is kept as an upper bound and made exact only once it reaches half the limit and the
// loop has taken some since, so that a flooder's datagrams cost no walk through its queue.
std::size_t intakeBudget(const ENetPeer* peer, Chatter* chatter) {
    if (chatter == nullptr) return IntakeLimitMessages - waitingMessages(peer, IntakeLimitMessages);
    if (isHeldBack(*chatter)) return 0;
    if (chatter->intakeBound >= IntakeLimitMessages / 2 && chatter->intakeHandled) {
        chatter->intakeBound = waitingMessages(peer, IntakeLimitMessages);
        chatter->intakeHandled = false;
    }
    return chatter->intakeBound >= IntakeLimitMessages ? 0 : IntakeLimitMessages - chatter->intakeBound;
}

}  // namespace

void attachIntake(ChatServer& server) {
    detachIntake(server);
    owners.push_back(&server);
}

void detachIntake(const ChatServer& server) {
    for (std::size_t i = 0; i < owners.size(); ++i)
        if (owners[i] == &server) owners.erase(owners.begin() + static_cast<long>(i--));
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

int screenDatagram(ENetHost* host, ENetEvent* /*event*/) {
    if (host == nullptr) return 0;
    const enet_uint8* data = host->receivedData;
    std::size_t length = host->receivedDataLength;
    bool checksummed = host->checksum != nullptr;
    if (!datagramAcceptable(data, length, ChatterMessageLimit, checksummed)) return 1;
    ENetPeer* peer = senderOf(host);
    // A connect request names no peer of ours. One from where a peer already is, a second peer for one
    // socket or the same request again, is dropped.
    if (peer == nullptr) return datagramHasConnect(data, length, checksummed) && addressHasPeer(host) ? 1 : 0;
    if (peer->state != ENET_PEER_STATE_CONNECTED && peer->state != ENET_PEER_STATE_DISCONNECT_LATER) return 0;
    ChatServer* server = ownerOf(host);
    int slot = server != nullptr ? chatterSlotOf(*server, peer) : -1;
    Chatter* chatter = slot >= 0 ? &server->chatters[slot] : nullptr;
    // ENet throws away what a peer sent but the loop has not yet taken the moment it reads that peer's
    // goodbye; while such lines wait, the goodbye is noted instead and the loop ends the chatter itself
    // once they are handled.
    bool holdGoodbye = chatter != nullptr && !enet_list_empty(&peer->dispatchedCommands);
    DatagramCut cut = cutDatagram(data, length, checksummed, intakeBudget(peer, chatter), holdGoodbye);
    if (chatter != nullptr) {
        chatter->leaving = chatter->leaving || cut.atGoodbye;
        chatter->intakeBound += cut.admitted;
        if (cut.refused) noteRefused(chatter->refused, cut.refusedChannel, cut.refusedUpTo, serverClock());
    }
    host->receivedDataLength = cut.length;
    return 0;
}
