#include "server/server_loop.h"

#include "common/console/console.h"
#include "server/roster.h"

namespace {

const Text EscKey = "\x1b";

}  // namespace

void pingChatters(ChatServer& server) {
    for (int slot = 0; slot < RosterSize; ++slot) {
        Chatter& chatter = server.chatters[slot];
        if (chatter.active == 1 && chatter.peer != nullptr) enet_peer_ping(chatter.peer);
    }
}

bool serviceServer(ChatServer& server, ENetEvent& event) {
    // Without an event record ENet does all of its socket work: it sends what is due, reads the datagrams
    // that wait (up to 256), acknowledges them, checks timeouts, and queues their events. Asked with a
    // record, this ENet hands out a queued event before it touches the socket, so a pass that only took
    // events would leave the socket unread, acknowledgements unsent and healthy peers timing out for as
    // long as a backlog lasts. A negative result (an oversized datagram, in this ENet) is no event.
    enet_host_service(server.host, nullptr, 0);
    if (server.queuedBytes > RelayBacklogLimit) return false;
    if (enet_host_check_events(server.host, &event) <= 0) return false;
    handleServerEvent(server, event);
    return true;
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
