#include "bench/bench_chatter.h"

#include <poll.h>

#include "bench/samples.h"
#include "common/protocol.h"

namespace {

// ENet's retransmissions and pings run only inside a service call, so idle hosts are serviced this often.
constexpr double TimerServiceInterval = 0.005;

void noteMessage(BenchChatter* chatter, const Text& text) {
    if (text == WelcomeText) chatter->welcomed = true;
    else if (chatter->welcomed && !chatter->announced && tagField(text) == NewTag) {
        chatter->announced = true;
        chatter->name = messageBody(text);
    }
}

void serviceHost(std::vector<BenchChatter>* chatters, int index, std::vector<Arrival>* arrivals) {
    BenchChatter* chatter = &(*chatters)[index];
    ENetEvent event;
    // Bounded: one host cannot hold the loop for more than this many events.
    for (int events = 0; events < 1024 && enet_host_service(chatter->host, &event, 0) > 0; ++events) {
        if (event.type == ENET_EVENT_TYPE_CONNECT) chatter->connected = true;
        if (event.type == ENET_EVENT_TYPE_DISCONNECT) chatter->connected = false, chatter->lost = true;
        if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
        Arrival arrival{index, packetText(event.packet), benchSeconds(), event.packet->dataLength};
        enet_packet_destroy(event.packet);
        noteMessage(chatter, arrival.text);
        if (arrivals != nullptr) arrivals->push_back(arrival);
    }
}

}  // namespace

bool openChatter(BenchChatter* chatter, enet_uint16 port, Text* error) {
    chatter->host = enet_host_create(nullptr, 1, 0, 0, 0);
    if (chatter->host == nullptr) return *error = "enet_host_create failed for a chatter", false;
    ENetAddress address;
    enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = port;
    chatter->peer = enet_host_connect(chatter->host, &address, ChatChannelCount, 0);
    if (chatter->peer == nullptr) return *error = "enet_host_connect failed for a chatter", false;
    enet_host_flush(chatter->host);
    return true;
}

void closeChatter(BenchChatter* chatter) {
    if (chatter->host == nullptr) return;
    if (chatter->peer != nullptr) enet_peer_disconnect(chatter->peer, 0);
    enet_host_flush(chatter->host);
    enet_host_destroy(chatter->host);
    *chatter = BenchChatter();
}

void closeChatters(std::vector<BenchChatter>* chatters) {
    for (BenchChatter& chatter : *chatters) closeChatter(&chatter);
    chatters->clear();
}

void sayText(BenchChatter* chatter, const Text& text) {
    sendPacket(chatter->peer, createTextPacket(text));
    enet_host_flush(chatter->host);
}

void serviceChatters(std::vector<BenchChatter>* chatters, ChildProcess* console, int waitMs,
                     std::vector<Arrival>* arrivals) {
    static double lastFullService = 0;
    std::vector<pollfd> fds;
    for (const BenchChatter& chatter : *chatters)
        fds.push_back({chatter.serviced && chatter.host != nullptr ? chatter.host->socket : -1, POLLIN, 0});
    if (console != nullptr && console->outputFd >= 0) fds.push_back({console->outputFd, POLLIN, 0});
    poll(fds.data(), fds.size(), waitMs);
    if (console != nullptr) drainOutput(console);
    bool all = benchSeconds() - lastFullService >= TimerServiceInterval;
    if (all) lastFullService = benchSeconds();
    for (size_t i = 0; i < chatters->size(); ++i)
        if (fds[i].fd >= 0 && (all || fds[i].revents != 0)) serviceHost(chatters, static_cast<int>(i), arrivals);
}

int joinedCount(const std::vector<BenchChatter>& chatters) {
    int joined = 0;
    for (const BenchChatter& chatter : chatters) joined += chatter.welcomed && chatter.announced;
    return joined;
}

bool awaitJoined(std::vector<BenchChatter>* chatters, ChildProcess* console, double seconds) {
    double end = benchSeconds() + seconds;
    while (joinedCount(*chatters) < static_cast<int>(chatters->size()) && benchSeconds() < end)
        serviceChatters(chatters, console, 1, nullptr);
    return joinedCount(*chatters) == static_cast<int>(chatters->size());
}
