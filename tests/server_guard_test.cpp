// The server's defences, with real ENet events on loopback: peers that hold no record of their own,
// forged fragments, packets ENet refuses or cannot create; and the fragment checks as a table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/host_guard.h"
#include "server/roster.h"
#include "server/sending.h"
#include "tests/support/fragment_forger.h"
#include "tests/support/loopback_lobby.h"

namespace {

// ENet's allocations go through these, so a test can count live blocks and make one allocation fail.
long liveBlocks = 0;
long long allocatedBytes = 0;  // every byte ENet asked for, freed or not
bool failAllocation = false;
int allocationsBeforeFailure = -1;  // when 0 or more: that many more succeed, then all fail

void* countingMalloc(std::size_t size) {
    if (allocationsBeforeFailure == 0) failAllocation = true;
    if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
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
    EXPECT_TRUE(lobby.server.chatters[0].active);
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

// With ENet brought up as the programs bring it up, every block it allocates is zeroed.
class ZeroedGuardTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(initEnet(), 0);
        ASSERT_TRUE(openLobby(lobby));
    }
    void TearDown() override {
        closeLobby(lobby);
        enet_deinitialize();
    }
    LoopbackLobby lobby;
};

// Two fragments of a 1000-byte packet that both carry its first 19 bytes complete it; this ENet then
// delivers the 981 bytes no fragment filled. Zeroed, they end the text, so no heap is ever relayed.
TEST_F(ZeroedGuardTest, BytesNoFragmentFilledAreNeverRelayed) {
    ASSERT_NE(joinLobby(lobby), nullptr);
    ASSERT_NE(joinLobby(lobby), nullptr);
    ChatTestClient& alice = lobby.clients[0];
    ChatTestClient& bob = lobby.clients[1];
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    // A real line of the same size first, so that the forged packet likely gets its freed block.
    sendTestText(alice, "SAY " + std::string(995, 'x'));
    ASSERT_TRUE(pumpUntilPackets(lobby, bob, 3));
    enet_uint16 next = nextReliableSequence(alice);
    // Longer than the 16 bytes the allocator itself may clear when it hands a freed block out again.
    sendForgedFragment(alice, "127.0.0.1", lobby.port, next, 2, 0, 1000, "SAY forged and then");
    sendForgedFragment(alice, "127.0.0.1", lobby.port, next, 2, 1, 1000, "SAY forged and then");
    ASSERT_TRUE(pumpUntilPackets(lobby, bob, 4));
    EXPECT_EQ(bob.packets.back(), std::string("SAY Anonymous0 forged and then", 31));
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

// No packet at all, or one listener's packet but not the next: the text is traced with nothing beside
// it, nobody gets it, and nothing is left behind.
TEST_F(ServerGuardTest, PacketThatCannotBeCreatedIsTracedEmptyAndNotSent) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    long before = liveBlocks;
    const std::string empty = "DATA ENET WANTS TO SEND:\r\n";
    for (int succeeding : {0, 1}) {
        allocationsBeforeFailure = succeeding;
        beginCapture();
        broadcastText(lobby.server, 0, "SAY Anonymous0 lost");
        sendToChatter(lobby.server, 0, "WSP Lobby lost");
        std::string console = endCapture();
        failAllocation = false;
        allocationsBeforeFailure = -1;
        EXPECT_EQ(console, Divider + "\r\nDATA TO SEND:           SAY Anonymous0 lost\r\n" + empty +
                               Divider + "\r\nDATA TO SEND:           WSP Lobby lost\r\n" + empty);
        EXPECT_EQ(liveBlocks, before) << succeeding;
    }
    sendTestText(alice, "SAY next");
    ASSERT_TRUE(pumpUntilPackets(lobby, bob, 3));
    pumpFor(lobby, 50);
    EXPECT_EQ(receivedTexts(alice).back(), "SAY Anonymous0 next");
    EXPECT_EQ(alice.packets.size(), 4u);
    EXPECT_EQ(bob.packets.size(), 3u);
}

// One fragment command's fields against the rules: ENet's own, the count no more than the length, and
// pieces no smaller than the smallest an ENet sender cuts.
TEST(FragmentChecks, FieldsOfOneFragment) {
    const enet_uint32 Max = ENET_PROTOCOL_MAXIMUM_FRAGMENT_COUNT;
    struct Row { const char* what; FragmentFields f; bool acceptable; };
    // fragmentLength, fragmentCount, fragmentNumber, totalLength, fragmentOffset
    const Row rows[] = {
        {"first piece of 1 MiB", {1372, 765, 0, 1u << 20, 0}, true},
        {"last piece of 1 MiB", {368, 765, 764, 1u << 20, 764 * 1372}, true},
        {"two pieces of the smallest size", {544, 2, 0, 545, 0}, true},
        {"a packet as long as the limit", {1372, 1529, 0, MessageLimit, 0}, true},
        {"a packet past the limit", {1372, 1530, 0, MessageLimit + 1, 0}, false},
        {"count past ENet's maximum", {1, Max + 1, 0, 1u << 20, 0}, false},
        {"number not below the count", {1, 2, 2, 2000, 0}, false},
        {"offset at the end", {1, 2, 1, 2000, 2000}, false},
        {"piece running past the end", {100, 2, 1, 2000, 1950}, false},
        {"a million pieces of one byte", {1, Max, 0, 1, 0}, false},
        {"more pieces than bytes", {1, 3000, 0, 2000, 0}, false},
        {"a million pieces of 1 MiB", {1, Max, 0, 1u << 20, 0}, false},
        {"pieces smaller than any sender cuts", {1, 1929, 0, 1u << 20, 0}, false},
        {"as many pieces as the smallest allow", {1, 1928, 0, 1u << 20, 0}, true},
        {"one piece", {10, 1, 0, 10, 0}, false},
        {"tiny packet in two pieces", {1, 2, 0, 2, 0}, false},
        {"zero pieces", {0, 0, 0, 1000, 0}, false},
    };
    for (const Row& row : rows) EXPECT_EQ(fragmentAcceptable(row.f, MessageLimit), row.acceptable) << row.what;
}

// Datagrams as ENet would parse them: header (2 bytes, or 4 with the sent time), then commands.
TEST(FragmentChecks, EveryFragmentInTheDatagramIsChecked) {
    auto bytes = [](std::initializer_list<int> list) {
        std::vector<enet_uint8> v;
        for (int b : list) v.push_back(static_cast<enet_uint8>(b));
        return v;
    };
    // A SEND_FRAGMENT (kind 8) of piece 0 of count pieces of total bytes, carrying one byte.
    auto fragment = [](int kind, enet_uint32 count, enet_uint32 total) {
        std::vector<enet_uint8> v = {static_cast<enet_uint8>(kind), 0, 0, 5, 0, 5, 0, 1};
        for (enet_uint32 word : {count, 0u, total, 0u})
            for (int shift = 24; shift >= 0; shift -= 8) v.push_back(static_cast<enet_uint8>(word >> shift));
        v.push_back('x');
        return v;
    };
    auto join = [](std::vector<enet_uint8> a, const std::vector<enet_uint8>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<enet_uint8> header = bytes({0x80, 0x00, 0x00, 0x01});
    const std::vector<enet_uint8> reliable = bytes({0x86, 0x00, 0x00, 0x02, 0x00, 0x02, 'h', 'i'});
    struct Row { const char* what; std::vector<enet_uint8> datagram; bool acceptable; };
    const Row rows[] = {
        {"empty", bytes({}), true},
        {"header only", header, true},
        {"ping", join(header, bytes({0x85, 0x00, 0x00, 0x02})), true},
        {"real fragment", join(header, fragment(0x88, 765, 1u << 20)), true},
        {"forged fragment", join(header, fragment(0x88, ENET_PROTOCOL_MAXIMUM_FRAGMENT_COUNT, 1)), false},
        {"forged fragment without sent time", join(bytes({0x00, 0x00}), fragment(0x88, 3000, 2000)), false},
        {"forged unreliable fragment", join(header, fragment(0x0c, 3000, 2000)), false},
        {"real fragment then forged one",
         join(join(header, fragment(0x88, 765, 1u << 20)), fragment(0x88, 2, 2)), false},
        {"reliable then forged fragment", join(join(header, reliable), fragment(0x88, 2, 2)), false},
        {"reliable payload that looks like a fragment",
         join(header, bytes({0x86, 0x00, 0x00, 0x02, 0x00, 0x04, 0x88, 0x88, 0x88, 0x88})), true},
        {"unknown command stops the walk",
         join(bytes({0x00, 0x00, 0x0e, 0x00, 0x00, 0x00}), fragment(0x88, 2, 2)), true},
        {"compressed", bytes({0x40, 0x00, 0x85, 0x00, 0x00, 0x00}), false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(datagramAcceptable(row.datagram.data(), row.datagram.size(), MessageLimit), row.acceptable)
            << row.what;
}

}  // namespace
