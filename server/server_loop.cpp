#include "server/server_loop.h"

#include "common/console/console.h"
#include "server/roster.h"

namespace {

const Text EscKey = "\x1b";

// A chatter whose oldest unread message has waited too long; what ENet has since read in order is
// forgotten first.
bool refusedTooLong(Chatter& chatter, double now) {
    if (chatter.refused.count == 0 || chatter.peer == nullptr) return false;
    std::size_t channel = static_cast<std::size_t>(chatter.refused.channel);
    if (channel < chatter.peer->channelCount) noteTaken(chatter.refused, chatter.peer->channels[channel].incomingReliableSequenceNumber);
    return refusedTooLong(chatter.refused, now);
}

// The active chatter with the most waiting to reach it, or -1.
int mostBehind(const ChatServer& server) {
    int most = -1;
    for (int slot = 0; slot < RosterSize; ++slot) {
        const Chatter& chatter = server.chatters[slot];
        if (chatter.active && (most < 0 || chatter.backlogBytes > server.chatters[most].backlogBytes)) most = slot;
    }
    return most;
}

// A chatter whose goodbye is held, or -1.
int leavingSlot(const ChatServer& server) {
    for (int slot = 0; slot < RosterSize; ++slot) {
        const Chatter& chatter = server.chatters[slot];
        if (chatter.active && chatter.leaving && chatter.peer != nullptr) return slot;
    }
    return -1;
}

// The leaver's next line as this pass's event, or its leaving once none waits.
void serviceLeaver(ChatServer& server, int slot, ENetEvent& event) {
    ENetPeer* peer = server.chatters[slot].peer;
    event = ENetEvent{};
    event.packet = enet_peer_receive(peer, &event.channelID);
    if (event.packet == nullptr) {
        endChatter(server, slot);
        return;
    }
    event.type = ENET_EVENT_TYPE_RECEIVE;
    event.peer = peer;
    handleServerEvent(server, event);
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

// This pass's event from ENet: read with the record when nothing waits; otherwise read without one and
// take a waiting event, unless a newcomer's handshake is about to complete.
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

}  // namespace

void pingChatters(ChatServer& server) {
    for (int slot = 0; slot < RosterSize; ++slot) {
        Chatter& chatter = server.chatters[slot];
        if (chatter.active && chatter.peer != nullptr) enet_peer_ping(chatter.peer);
    }
}

void cutOffLaggards(ChatServer& server) {
    double now = serverClock();
    for (int slot = 0; slot < RosterSize; ++slot) {
        Chatter& chatter = server.chatters[slot];
        if (chatter.active && (pastBacklogLimit(chatter) || refusedTooLong(chatter, now))) endChatter(server, slot);
    }
    for (int slot = 0; slot < RosterSize; ++slot) {
        Chatter& speaker = server.chatters[slot];
        if (!speaker.active || !isHeldBack(speaker)) {
            speaker.heldBackSince = 0;
        } else if (speaker.heldBackSince == 0) {
            speaker.heldBackSince = now;
        } else if (now - speaker.heldBackSince > HeldBackLimitSeconds) {
            int laggard = mostBehind(server);
            if (laggard >= 0) endChatter(server, laggard);
            speaker.heldBackSince = now;
            restartRefused(speaker.refused, now);
        }
    }
}

bool serviceServer(ChatServer& server, ENetEvent& event) {
    // Asked with an event record, this ENet hands out a queued event before it touches the socket, so
    // while events wait the socket is read without one: ENet sends what is due, reads the datagrams that
    // wait (up to 256), acknowledges them, checks timeouts and queues their events. A negative result
    // (an oversized datagram, in this ENet) is no event.
    // A leaver's lines take every other pass, so they go out quickly without keeping the others' events
    // waiting, however many a leaver left behind.
    bool handled = true;
    int leaver = server.leaverServed ? -1 : leavingSlot(server);
    server.leaverServed = leaver >= 0;
    if (leaver >= 0) {
        enet_host_service(server.host, nullptr, 0);
        serviceLeaver(server, leaver, event);
    } else if (takeEvent(server.host, event) > 0) {
        handleServerEvent(server, event);
    } else {
        handled = false;
    }
    cutOffLaggards(server);
    return handled;
}

void serverLoop(ChatServer& server) {
    ENetEvent event{};
    double nextPingTime = serverClock() + PingInterval;
    for (;;) {
        serviceServer(server, event);
        if (serverClock() > nextPingTime) {
            pingChatters(server);
            nextPingTime = serverClock() + PingInterval;
        }
        pause(1);
        if (pollKey() == EscKey) return;
    }
}
