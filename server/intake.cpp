#include "server/intake.h"

#include <vector>

#include "common/host_guard.h"
#include "server/enet_edge.h"
#include "server/roster.h"

namespace {

// ENet's hook is given the host alone; the records that own the hosts are found here.
std::vector<ChatServer*> owners;

ChatServer* ownerOf(const ENetHost* host) {
    for (ChatServer* server : owners)
        if (server->host == host) return server;
    return nullptr;
}

// How many more messages ENet may read from the peer now. The chatter's count is kept as an upper bound
// and made exact only when the limits ask for it.
std::size_t intakeRoom(const ENetPeer* peer, Chatter* chatter) {
    if (chatter == nullptr) return IntakeLimitMessages - waitingMessages(peer, IntakeLimitMessages);
    if (intakeRecountDue(chatter->intakeBound, chatter->intakeHandled)) {
        chatter->intakeBound = waitingMessages(peer, IntakeLimitMessages);
        chatter->intakeHandled = false;
    }
    return intakeBudget(isHeldBack(*chatter), chatter->intakeBound);
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
    bool holdGoodbye = chatter != nullptr && holdsUnhandledPackets(peer);
    DatagramCut cut = cutDatagram(data, length, checksummed, intakeRoom(peer, chatter), holdGoodbye);
    if (chatter != nullptr) {
        chatter->leaving = chatter->leaving || cut.atGoodbye;
        chatter->intakeBound += cut.admitted;
        if (cut.admitted > 0) noteRead(chatter->refused, serverClock());
        if (cut.refused) noteRefused(chatter->refused, cut.refusedChannel, cut.refusedUpTo, serverClock());
    }
    host->receivedDataLength = cut.length;
    return 0;
}
