// The server's defences, with real ENet events on loopback: peers that hold no record of their own,
// forged fragment datagrams, packets ENet refuses or cannot create.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "server/fragment_filter.h"
#include "server/roster.h"
#include "server/sending.h"
#include "server/server_loop.h"
#include "tests/support/fragment_forger.h"
#include "tests/support/loopback_lobby.h"

namespace {

// ENet's allocations go through these, so a test can count live blocks and make one allocation fail.
long liveBlocks = 0;
long long allocatedBytes = 0;  // every byte ENet asked for, freed or not
bool failAllocation = false;

void* countingMalloc(std::size_t size) {
    if (failAllocation) return nullptr;
    void* memory = std::malloc(size);
    if (memory != nullptr) ++liveBlocks;
    allocatedBytes += static_cast<long long>(size);
    return memory;
}
void countingFree(void* memory) {
    if (memory != nullptr) --liveBlocks;
    std::free(memory);
}
void ignoreNoMemory() {}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long total = 0, resident = 0;
    statm >> total >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

const std::string Divider(75, '-');

class ServerGuardTest : public testing::Test {
protected:
    void SetUp() override {
        ENetCallbacks callbacks{countingMalloc, countingFree, ignoreNoMemory};
        ASSERT_EQ(enet_initialize_with_callbacks(ENET_VERSION, &callbacks), 0);
        ASSERT_TRUE(openLobby(lobby));
    }
    void TearDown() override {
        closeLobby(lobby);
        enet_deinitialize();
    }
    ChatTestClient& join() {
        EXPECT_NE(joinLobby(lobby), nullptr) << "a client could not join";
        return lobby.clients.back();
    }
    // The server's own peer for a client, found by the client's port.
    ENetPeer* serverPeerOf(const ChatTestClient& client) {
        for (std::size_t i = 0; i < lobby.server.host->peerCount; ++i) {
            ENetPeer* peer = &lobby.server.host->peers[i];
            if (peer->state != ENET_PEER_STATE_DISCONNECTED && peer->address.port == client.host->address.port)
                return peer;
        }
        return nullptr;
    }
    LoopbackLobby lobby;
};

// A connected client whose connect event the server never handled, as when it disconnects again before
// its connection completes: its peer's data word is empty, which reads as slot 0.
TEST_F(ServerGuardTest, PeerWithoutARecordOfItsOwnNeverActsOnAnother) {
    ChatTestClient& alice = join();
    lobby.handleEvents = false;
    lobby.clients.emplace_back();
    ChatTestClient& ghost = lobby.clients.back();
    ASSERT_TRUE(startTestClient(ghost, "127.0.0.1", lobby.port));
    for (int i = 0; i < 2000 && !ghost.connected; ++i) pump(lobby);
    pumpFor(lobby, 30);
    enet_socket_get_address(ghost.host->socket, &ghost.host->address);
    lobby.handleEvents = true;
    ENetPeer* ghostPeer = serverPeerOf(ghost);
    ASSERT_NE(ghostPeer, nullptr);

    const std::intptr_t words[] = {0, 9, RosterSize, -1};
    for (std::intptr_t word : words) {
        ghostPeer->data = reinterpret_cast<void*>(word);
        lobby.console.clear();
        sendTestText(ghost, "SAY boo");
        sendTestText(ghost, "REN Mallory");
        pumpFor(lobby, 60);
        EXPECT_EQ(lobby.console, "Packet from unconnected or dead client. Destroying.\r\n"
                                 "Packet from unconnected or dead client. Destroying.\r\n") << word;
    }
    ghostPeer->data = nullptr;
    lobby.console.clear();
    disconnectTestClient(ghost);
    pumpFor(lobby, 200);
    EXPECT_EQ(ghostPeer->state, ENET_PEER_STATE_DISCONNECTED);
    EXPECT_EQ(lobby.console, "") << "a disconnect of a peer without a record prints nothing";
    EXPECT_EQ(alice.packets.size(), 2u);
    EXPECT_EQ(lobby.server.chatters[0].active, 1);
    EXPECT_EQ(lobby.server.chatters[0].name, "Anonymous0");
    EXPECT_EQ(serverPeerOf(alice)->state, ENET_PEER_STATE_CONNECTED);
}

// Each forged fragment claims a million pieces; this ENet then keeps a 128 KiB bitmap for it.
void forgeHugeFragments(LoopbackLobby& lobby, ChatTestClient& client, int count) {
    enet_uint16 first = static_cast<enet_uint16>(nextReliableSequence(client) + 100);
    for (int i = 0; i < count; ++i) {
        sendForgedFragment(client, "127.0.0.1", lobby.port, static_cast<enet_uint16>(first + i), 1000000, 0, 1, "x");
        if (i % 50 == 0) pump(lobby);
    }
    pumpFor(lobby, 100);
}

TEST_F(ServerGuardTest, ForgedFragmentsLeaveTheServerHostsMemoryFlat) {
    ChatTestClient& alice = join();
    ENetPeer* peer = serverPeerOf(alice);
    long before = residentBytes();
    long long allocatedBefore = allocatedBytes;
    forgeHugeFragments(lobby, alice, 2000);
    EXPECT_LT(residentBytes() - before, 16L << 20);
    EXPECT_LT(allocatedBytes - allocatedBefore, 1LL << 20);
    EXPECT_TRUE(enet_list_empty(&peer->channels[0].incomingReliableCommands));
    // The connection itself is untouched.
    sendTestText(alice, "SAY still here");
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    EXPECT_EQ(packetAsText(alice.packets.back()), "SAY Anonymous0 still here");
}

// The same forgery without the defence really does grow the host: it proves the test above can fail.
TEST_F(ServerGuardTest, ForgedFragmentsGrowAnUndefendedHost) {
    ChatTestClient& alice = join();
    lobby.server.host->intercept = nullptr;
    ENetPeer* peer = serverPeerOf(alice);
    long long allocatedBefore = allocatedBytes;
    forgeHugeFragments(lobby, alice, 200);
    EXPECT_GT(allocatedBytes - allocatedBefore, 20LL << 20);
    EXPECT_EQ(enet_list_size(&peer->channels[0].incomingReliableCommands), 200u);
}

// Two one-piece fragments of a 1000-byte packet would make this ENet deliver 992 bytes of uninitialised
// memory, which a SAY would relay to every chatter.
TEST_F(ServerGuardTest, ForgedFragmentsNeverDeliverUninitialisedBytes) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    lobby.console.clear();
    enet_uint16 next = nextReliableSequence(alice);
    sendForgedFragment(alice, "127.0.0.1", lobby.port, next, 2, 0, 1000, "SAY Anon");
    sendForgedFragment(alice, "127.0.0.1", lobby.port, next, 2, 1, 1000, "SAY Anon");
    pumpFor(lobby, 150);
    EXPECT_EQ(bob.packets.size(), 2u);
    EXPECT_EQ(lobby.console, "");
    // A real client's message large enough for ENet to fragment it never reaches the chat either.
    sendTestText(bob, "SAY " + std::string(2000, 'y'));
    pumpFor(lobby, 150);
    EXPECT_EQ(alice.packets.size(), 3u);
    sendTestText(alice, "SAY after");
    ASSERT_TRUE(pumpUntilPackets(lobby, bob, 3));
    EXPECT_EQ(packetAsText(bob.packets.back()), "SAY Anonymous0 after");
}

TEST_F(ServerGuardTest, RefusedOrUndeliverablePacketsAreNotLeaked) {
    // A record whose peer is not connected: ENet refuses the packet.
    ENetPeer* idle = &lobby.server.host->peers[5];
    admitChatter(lobby.server, 5, idle);
    long before = liveBlocks;
    beginCapture();
    sendToChatter(lobby.server, 5, "WSP Lobby nobody");
    broadcastText(lobby.server, 0, "OLD nobody");
    std::string console = endCapture();
    EXPECT_EQ(liveBlocks, before);
    EXPECT_NE(console.find("DATA ENET WANTS TO SEND:WSP Lobby nobody\r\n"), std::string::npos);
    releaseChatter(lobby.server, 5, idle);
}

TEST_F(ServerGuardTest, PacketThatCannotBeCreatedIsTracedEmptyAndNotSent) {
    ChatTestClient& alice = join();
    failAllocation = true;
    beginCapture();
    broadcastText(lobby.server, 0, "SAY Anonymous0 lost");
    sendToChatter(lobby.server, 0, "WSP Lobby lost");
    std::string console = endCapture();
    failAllocation = false;
    const std::string empty = "DATA ENET WANTS TO SEND:\r\n";
    EXPECT_EQ(console, Divider + "\r\nDATA TO SEND:           SAY Anonymous0 lost\r\n" + empty +
                           Divider + "\r\nDATA TO SEND:           WSP Lobby lost\r\n" + empty);
    sendTestText(alice, "SAY next");
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    pumpFor(lobby, 50);
    EXPECT_EQ(receivedTexts(alice).back(), "SAY Anonymous0 next");
    EXPECT_EQ(alice.packets.size(), 3u);
}

// Datagrams as ENet would parse them: header (2 bytes, or 4 with the sent time), then commands.
TEST(FragmentFilterTest, FindsFragmentCommandsWhereEnetWouldReadThem) {
    auto bytes = [](std::initializer_list<int> list) {
        std::vector<enet_uint8> v;
        for (int b : list) v.push_back(static_cast<enet_uint8>(b));
        return v;
    };
    struct Row { const char* what; std::vector<enet_uint8> datagram; bool dropped; };
    const Row rows[] = {
        {"empty", bytes({}), false},
        {"header only", bytes({0x80, 0x00, 0x00, 0x01}), false},
        {"ping", bytes({0x80, 0x00, 0x00, 0x01, 0x85, 0x00, 0x00, 0x02}), false},
        {"fragment after sent time", bytes({0x80, 0x00, 0x00, 0x01, 0x88, 0x00, 0x00, 0x02}), true},
        {"fragment without sent time", bytes({0x00, 0x00, 0x88, 0x00, 0x00, 0x02}), true},
        {"unreliable fragment", bytes({0x00, 0x00, 0x0c, 0x00, 0x00, 0x02}), true},
        {"reliable then fragment", bytes({0x80, 0x00, 0x00, 0x01, 0x86, 0x00, 0x00, 0x02, 0x00, 0x02, 'h', 'i',
                                          0x88, 0x00, 0x00, 0x03}), true},
        {"reliable payload that looks like a fragment", bytes({0x80, 0x00, 0x00, 0x01, 0x86, 0x00, 0x00, 0x02,
                                                               0x00, 0x04, 0x88, 0x88, 0x88, 0x88}), false},
        {"unsequenced payload then fragment", bytes({0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                                     'x', 0x0c, 0x00, 0x00, 0x00}), true},
        {"unknown command stops the walk", bytes({0x00, 0x00, 0x0e, 0x00, 0x00, 0x00, 0x88, 0x00, 0x00, 0x00}),
         false},
        {"compressed", bytes({0x40, 0x00, 0x85, 0x00, 0x00, 0x00}), true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(datagramHasFragment(row.datagram.data(), row.datagram.size()), row.dropped) << row.what;
}

}  // namespace
