#include "bench/baseline_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "bench/samples.h"
#include "common/protocol.h"

namespace {

// Long enough to keep an idle relay from spinning, short enough for ENet's timers.
constexpr int RelayServiceWaitMs = 5;
constexpr size_t RelayPeerCount = 25;

struct Relay {
    ENetHost* host = nullptr;
    Text names[RelayPeerCount];
    bool active[RelayPeerCount] = {};
};

void relayBroadcast(Relay* relay, const Text& text) {
    ENetPacket* packet = createTextPacket(text);
    if (packet != nullptr) enet_host_broadcast(relay->host, ChatChannel, packet);
    enet_host_flush(relay->host);
}

void relaySend(Relay* relay, ENetPeer* peer, const Text& text) {
    sendPacket(peer, createTextPacket(text));
    enet_host_flush(relay->host);
}

Text relayList(const Relay& relay) {
    Text list = "Chatters:\r\n";
    for (size_t slot = 0; slot < RelayPeerCount; ++slot) {
        if (!relay.active[slot]) continue;
        const ENetPeer& peer = relay.host->peers[slot];
        list += relay.names[slot] + " (#" + std::to_string(slot) + ", " + std::to_string(peer.roundTripTime) +
                " +/- " + std::to_string(peer.roundTripTimeVariance) + ", " + std::to_string(peer.packetLoss) +
                ", " + std::to_string(peer.packetsLost) + ", " + std::to_string(peer.packetsSent) + ")\r\n";
    }
    return list;
}

void relayMessage(Relay* relay, ENetPeer* peer, size_t slot, const Text& text) {
    Text tag = tagField(text);
    if (tag == SayTag) relayBroadcast(relay, SayTag + relay->names[slot] + " " + messageBody(text));
    else if (tag == WhoTag) relaySend(relay, peer, WhisperTag + LobbyName + " " + relayList(*relay));
    else if (tag == RenameTag) {
        Text old = relay->names[slot];
        relay->names[slot] = messageBody(text);
        relayBroadcast(relay, NameTag + old + " " + relay->names[slot]);
    }
}

void relayEvent(Relay* relay, const ENetEvent& event) {
    size_t slot = static_cast<size_t>(event.peer - relay->host->peers);
    if (event.type == ENET_EVENT_TYPE_CONNECT) {
        relay->active[slot] = true;
        relay->names[slot] = "Anonymous" + std::to_string(slot);
        relaySend(relay, event.peer, WelcomeText);
        relayBroadcast(relay, NewTag + relay->names[slot]);
    } else if (event.type == ENET_EVENT_TYPE_RECEIVE) {
        if (relay->active[slot]) relayMessage(relay, event.peer, slot, packetText(event.packet));
        enet_packet_destroy(event.packet);
    } else if (event.type == ENET_EVENT_TYPE_DISCONNECT && relay->active[slot]) {
        relay->active[slot] = false;
        relayBroadcast(relay, OldTag + relay->names[slot]);
    }
}

bool stopRequested(int stopFd) {
    pollfd fd = {stopFd, POLLIN, 0};
    return poll(&fd, 1, 0) != 0;  // readable means the parent closed its end (or went away)
}

[[noreturn]] void runRelay(ENetHost* host, int stopFd, double maxSeconds) {
    Relay relay;
    relay.host = host;
    double end = benchSeconds() + maxSeconds;
    ENetEvent event;
    while (!stopRequested(stopFd) && benchSeconds() < end) {
        int wait = RelayServiceWaitMs;
        // After the wait, take every event that is waiting before waiting again.
        for (int events = 0; events < 4096 && enet_host_service(host, &event, wait) > 0; ++events) {
            relayEvent(&relay, event);
            wait = 0;
        }
    }
    enet_host_destroy(host);
    _exit(0);
}

}  // namespace

bool startBaselineRelay(ChildProcess* relay, enet_uint16* port, double maxSeconds, Text* error) {
    ENetAddress address;
    enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = 0;
    ENetHost* host = enet_host_create(&address, RelayPeerCount, 0, 0, 0);
    if (host == nullptr) return *error = "the baseline relay could not create its host", false;
    ENetAddress bound;
    if (enet_socket_get_address(host->socket, &bound) != 0) return enet_host_destroy(host), *error = "no port", false;
    *port = bound.port;
    int stop[2];
    if (pipe(stop) != 0) return enet_host_destroy(host), *error = "pipe failed", false;
    int pid = fork();
    if (pid == 0) {
        close(stop[1]);
        runRelay(host, stop[0], maxSeconds);
    }
    close(stop[0]);
    enet_host_destroy(host);  // the parent's copy; the child keeps the socket open
    if (pid < 0) return close(stop[1]), *error = "fork failed", false;
    relay->pid = pid;
    relay->ownChild = true;
    relay->inputFd = stop[1];
    fcntl(stop[1], F_SETFD, FD_CLOEXEC);
    return true;
}
