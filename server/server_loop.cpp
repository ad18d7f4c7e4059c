#include "server/server_loop.h"

#include "common/console/console.h"
#include "server/roster.h"

namespace {

const Text EscKey = "\x1b";

bool pastBacklogLimit(const Chatter& chatter) {
    return chatter.backlogBytes > BacklogLimitBytes || chatter.backlogMessages > BacklogLimitMessages;
}

// A chatter whose goodbye is held: its next line as this pass's event, or its leaving once none waits.
bool serviceLeaver(ChatServer& server, ENetEvent& event) {
    for (int slot = 0; slot < RosterSize; ++slot) {
        Chatter& chatter = server.chatters[slot];
        if (chatter.active != 1 || !chatter.leaving || chatter.peer == nullptr) continue;
        event = ENetEvent{};
        event.packet = enet_peer_receive(chatter.peer, &event.channelID);
        if (event.packet == nullptr) {
            endChatter(server, slot);
            return true;
        }
        event.type = ENET_EVENT_TYPE_RECEIVE;
        event.peer = chatter.peer;
        handleServerEvent(server, event);
        return true;
    }
    return false;
}

}  // namespace

void pingChatters(ChatServer& server) {
    for (int slot = 0; slot < RosterSize; ++slot) {
        Chatter& chatter = server.chatters[slot];
        if (chatter.active == 1 && chatter.peer != nullptr) enet_peer_ping(chatter.peer);
    }
}

void cutOffLaggards(ChatServer& server) {
    for (int slot = 0; slot < RosterSize; ++slot)
        if (server.chatters[slot].active == 1 && pastBacklogLimit(server.chatters[slot])) endChatter(server, slot);
}

bool serviceServer(ChatServer& server, ENetEvent& event) {
    // Asked with an event record, this ENet hands out a queued event before it touches the socket, so
    // while events wait the socket is read without one: ENet sends what is due, reads the datagrams that
    // wait (up to 256), acknowledges them, checks timeouts and queues their events. When none waits, the
    // read is made with the record, so that a newcomer's connection is complete at once and the line that
    // came with it is taken, not dropped to be sent again half a second later. A negative result (an
    // oversized datagram, in this ENet) is no event.
    bool queued = !enet_list_empty(&server.host->dispatchQueue);
    if (queued) enet_host_service(server.host, nullptr, 0);
    bool handled = serviceLeaver(server, event);
    if (!handled) {
        int got = queued ? enet_host_check_events(server.host, &event) : enet_host_service(server.host, &event, 0);
        if (got > 0) handleServerEvent(server, event);
        handled = got > 0;
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
