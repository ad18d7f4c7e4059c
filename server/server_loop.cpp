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

void serverLoop(ChatServer& server) {
    ENetEvent event{};
    double nextPingTime = serverClock() + PingInterval;
    for (;;) {
        // A negative result is no event: this ENet reports an oversized datagram that way.
        if (enet_host_service(server.host, &event, 0) > 0) handleServerEvent(server, event);
        if (serverClock() > nextPingTime) {
            pingChatters(server);
            nextPingTime = serverClock() + PingInterval;
        }
        pause(1);
        if (pollKey() == EscKey) return;
    }
}
