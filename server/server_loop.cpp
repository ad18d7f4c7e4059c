#include "server/server_loop.h"

#include "common/console/console.h"
#include "server/enet_edge.h"
#include "server/roster.h"
#include "server/server_events.h"

namespace {

const Text EscKey = "\x1b";

// A chatter whose goodbye is held, or -1.
int leavingSlot(const ChatServer& server) {
    for (int slot = 0; slot < RosterSize; ++slot) {
        const Chatter& chatter = server.chatters[slot];
        if (chatter.active && chatter.leaving && chatter.peer != nullptr) return slot;
    }
    return -1;
}

// The leaver's next line as this pass's event; once none waits, its leaving instead, and no event.
bool takeLeaversLine(ChatServer& server, int slot, ENetEvent& event) {
    ENetPeer* peer = server.chatters[slot].peer;
    enet_host_service(server.host, nullptr, 0);
    event = ENetEvent{};
    event.packet = enet_peer_receive(peer, &event.channelID);
    if (event.packet == nullptr) {
        endChatter(server, slot);
        return false;
    }
    event.type = ENET_EVENT_TYPE_RECEIVE;
    event.peer = peer;
    return true;
}

// Forgets, for every chatter, the messages left unread that ENet has since read in order.
void noteReadInOrder(ChatServer& server) {
    for (Chatter& chatter : server.chatters) {
        enet_uint16 upTo = 0;
        if (!chatter.active || chatter.refused.count == 0) continue;
        if (channelReadUpTo(chatter.peer, chatter.refused.channel, &upTo)) noteTaken(chatter.refused, upTo);
    }
}

}  // namespace

bool takeServerEvent(ChatServer& server, ENetEvent& event) {
    int leaver = server.leaverServed ? -1 : leavingSlot(server);
    server.leaverServed = leaver >= 0;
    if (leaver >= 0) return takeLeaversLine(server, leaver, event);
    // A negative result (an oversized datagram, in this ENet) is no event.
    return takeEvent(server.host, event) > 0;
}

void cutOffLaggards(ChatServer& server) {
    double now = serverClock();
    noteReadInOrder(server);
    noteHeldBack(server, now);
    // Each round cuts one chatter or restarts one held speaker's wait, so the rounds are bounded.
    for (int round = 0; round < 2 * RosterSize; ++round) {
        CutChoice cut = chooseCut(server, now);
        if (cut.heldSpeaker >= 0) {
            // Its wait starts again; what held it back was not of its own doing.
            server.chatters[cut.heldSpeaker].heldBackSince = now;
            restartRefused(server.chatters[cut.heldSpeaker].refused, now);
        }
        if (cut.slot >= 0) endChatter(server, cut.slot);
        else if (cut.heldSpeaker < 0) return;
    }
}

void pingChatters(ChatServer& server) {
    for (const Chatter& chatter : server.chatters)
        if (chatter.active && chatter.peer != nullptr) enet_peer_ping(chatter.peer);
}

bool serviceServer(ChatServer& server, ENetEvent& event) {
    bool taken = takeServerEvent(server, event);
    if (taken) handleServerEvent(server, event);
    cutOffLaggards(server);
    return taken;
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
