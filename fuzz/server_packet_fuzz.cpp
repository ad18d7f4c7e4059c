// Fuzzes the server's handling of a received packet. A real server host and two real test clients run on
// loopback inside the process: one client is an admitted chatter, the other is connected but was never
// admitted (its packets come from an inactive slot). Each input becomes one real ENet packet handed to the
// server's event handling as a receive event from one of the two peers; the hosts are serviced after each
// so that replies are delivered and acknowledged. The roster must keep its shape: the chatter stays
// active in its slot under a name without a blank, and the stranger never gains a record. Each input is
// also read as a raw datagram by the hosts' fragment check.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/host_guard.h"
#include "common/protocol.h"
#include "server/chat_server.h"
#include "server/enet_edge.h"
#include "server/intake.h"
#include "server/server_events.h"
#include "server/server_host.h"
#include "tests/support/chat_test_client.h"

namespace {

struct Harness {
    ChatServer server;
    ChatTestClient chatter;
    ChatTestClient stranger;
    ENetPeer* chatterPeer = nullptr;   // the server's side of each connection
    ENetPeer* strangerPeer = nullptr;
};

Harness harness;

void fail(const char* what) {
    std::fprintf(stderr, "server packet: %s\n", what);
    std::abort();
}

// Services the server as its loop does; the stranger's connect event is taken but never handled.
void pumpServer() {
    ENetEvent event{};
    for (int i = 0; i < 64 && enet_host_service(harness.server.host, &event, 0) > 0; ++i) {
        if (event.type == ENET_EVENT_TYPE_CONNECT && harness.chatterPeer != nullptr &&
            event.peer != harness.chatterPeer) {
            harness.strangerPeer = event.peer;
            continue;
        }
        if (event.type == ENET_EVENT_TYPE_CONNECT) harness.chatterPeer = event.peer;
        handleServerEvent(harness.server, event);
    }
}

// The test clients keep what they receive; here nothing of it is looked at, so it is let go.
void pumpAll() {
    pumpServer();
    serviceTestClient(harness.chatter, 0);
    serviceTestClient(harness.stranger, 0);
    harness.chatter.packets.clear();
    harness.stranger.packets.clear();
}

void connectBoth() {
    if (initEnet() != 0) fail("ENet did not start");
    harness.server.host = createServerHost("127.0.0.1", 0, ServerPeerLimit);
    if (harness.server.host == nullptr) fail("no server host");
    ENetAddress bound{};
    enet_socket_get_address(harness.server.host->socket, &bound);
    startTestClient(harness.chatter, "127.0.0.1", bound.port);
    for (int i = 0; i < 3000 && harness.chatterPeer == nullptr; ++i) {
        pumpAll();
        usleep(1000);
    }
    startTestClient(harness.stranger, "127.0.0.1", bound.port);
    for (int i = 0; i < 3000 && harness.strangerPeer == nullptr; ++i) {
        pumpAll();
        usleep(1000);
    }
    if (harness.chatterPeer == nullptr || harness.strangerPeer == nullptr) fail("clients did not connect");
}

void checkRoster() {
    int active = 0;
    for (int slot = 0; slot < RosterSize; ++slot) {
        const Chatter& chatter = harness.server.chatters[slot];
        if (!chatter.active) continue;
        ++active;
        if (chatter.peer != harness.chatterPeer) fail("a record is held by another peer");
        if (chatter.name.find(' ') != Text::npos) fail("a name holds a blank");
    }
    if (active != 1) fail("the roster no longer holds exactly the one chatter");
    if (harness.chatterPeer->state != ENET_PEER_STATE_CONNECTED) fail("the chatter lost its connection");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The server traces every packet on its console; here that goes nowhere.
    int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    close(devNull);
    connectBoth();
    return 0;
}

// Input: a selector byte (bit 0: from the stranger; bits 1-4: the channel), then the packet's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The same bytes read as a datagram go through the hosts' fragment check and the server's intake
    // cut and connect search, which must never read past them whatever commands and lengths they claim.
    bool checksummed = (data[0] & 0x20) != 0;
    datagramAcceptable(data, size, MessageLimit, checksummed);
    DatagramCut cut = cutDatagram(data, size, checksummed, data[0] >> 6, (data[0] & 0x10) != 0);
    if (cut.length > size) fail("a datagram was cut past its end");
    datagramHasConnect(data, size, checksummed);
    ENetEvent event{};
    event.type = ENET_EVENT_TYPE_RECEIVE;
    event.peer = (data[0] & 1) ? harness.strangerPeer : harness.chatterPeer;
    event.channelID = static_cast<enet_uint8>((data[0] >> 1) % ChatChannelCount);
    event.packet = enet_packet_create(data + 1, size - 1, ENET_PACKET_FLAG_RELIABLE);
    handleServerEvent(harness.server, event);
    if (event.packet != nullptr) fail("the received packet was not released");
    // Replies are delivered and acknowledged in batches; between them ENet only queues.
    static unsigned runs = 0;
    if (++runs % 16 == 0) pumpAll();
    checkRoster();
    return 0;
}
