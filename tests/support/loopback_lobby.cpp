#include "tests/support/loopback_lobby.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/console/console_internal.h"
#include "server/intake.h"
#include "server/server_host.h"
#include "server/server_loop.h"

namespace {

int savedStdout = -1;
FILE* captureFile = nullptr;

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool holdsSlotOf(const LoopbackLobby& lobby, const ChatTestClient& client) {
    for (const Chatter& chatter : lobby.server.chatters)
        if (chatter.active && chatter.peer != nullptr &&
            chatter.peer->address.port == client.host->address.port)
            return true;
    return false;
}

}  // namespace

void beginCapture() {
    flushConsole();
    std::fflush(stdout);
    captureFile = std::tmpfile();
    savedStdout = dup(1);
    dup2(fileno(captureFile), 1);
}

std::string endCapture() {
    flushConsole();
    std::fflush(stdout);
    dup2(savedStdout, 1);
    close(savedStdout);
    std::string bytes;
    std::rewind(captureFile);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, captureFile)) > 0) bytes.append(buffer, n);
    std::fclose(captureFile);
    return bytes;
}

bool openLobby(LoopbackLobby& lobby) {
    beginCapture();
    lobby.server.host = createServerHost("127.0.0.1", 0, ServerPeerLimit);
    lobby.console += endCapture();
    if (lobby.server.host == nullptr) return false;
    attachIntake(lobby.server);
    ENetAddress bound{};
    enet_socket_get_address(lobby.server.host->socket, &bound);
    lobby.port = bound.port;
    return true;
}

void closeLobby(LoopbackLobby& lobby) {
    for (ChatTestClient& client : lobby.clients) stopTestClient(client);
    lobby.clients.clear();
    detachIntake(lobby.server);
    if (lobby.server.host != nullptr) enet_host_destroy(lobby.server.host);
    lobby.server.host = nullptr;
}

void pump(LoopbackLobby& lobby) {
    ENetEvent event{};
    beginCapture();
    if (lobby.handleEvents) {
        serviceServer(lobby.server, event);
    } else {
        if (takeServerEvent(lobby.server, event) && event.packet != nullptr) enet_packet_destroy(event.packet);
        cutOffLaggards(lobby.server);
    }
    lobby.console += endCapture();
    for (ChatTestClient& client : lobby.clients) serviceTestClient(client, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void pumpFor(LoopbackLobby& lobby, int ms) {
    long long end = nowMs() + ms;
    while (nowMs() < end) pump(lobby);
}

ChatTestClient* joinLobby(LoopbackLobby& lobby) {
    lobby.clients.emplace_back();
    ChatTestClient& client = lobby.clients.back();
    if (!startTestClient(client, "127.0.0.1", lobby.port)) return nullptr;
    if (!pumpUntilPackets(lobby, client, 2)) return nullptr;
    // The socket has its port once it has sent; that port is what the server sees, so it is kept in
    // the client's host address to match records to clients.
    enet_socket_get_address(client.host->socket, &client.host->address);
    return &client;
}

bool pumpUntilPackets(LoopbackLobby& lobby, ChatTestClient& client, std::size_t count, int maxMs) {
    long long end = nowMs() + maxMs;
    while (client.packets.size() < count && nowMs() < end) pump(lobby);
    return client.packets.size() >= count;
}

bool leaveLobby(LoopbackLobby& lobby, ChatTestClient& client) {
    disconnectTestClient(client);
    long long end = nowMs() + 3000;
    while (holdsSlotOf(lobby, client) && nowMs() < end) pump(lobby);
    return !holdsSlotOf(lobby, client);
}
