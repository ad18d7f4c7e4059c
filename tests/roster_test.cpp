// The roster's slot, name and release rules, on the peers of a real (unconnected) ENet host.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>

#include "server/roster.h"

namespace {

class RosterTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(enet_initialize(), 0);
        ENetAddress any{ENET_HOST_ANY, 0};
        server.host = enet_host_create(&any, ServerPeerLimit, 0, 0, 0);
        ASSERT_NE(server.host, nullptr);
    }
    void TearDown() override {
        enet_host_destroy(server.host);
        enet_deinitialize();
    }
    ENetPeer* peer(int i) { return &server.host->peers[i]; }
    int admitNext(int peerIndex) {
        int slot = takeSlot(server);
        admitChatter(server, slot, peer(peerIndex));
        return slot;
    }
    ChatServer server;
};

TEST_F(RosterTest, AdmissionFillsTheRecordAndThePeersDataWord) {
    const struct { int slot; const char* name; } rows[] = {{0, "Anonymous0"}, {12, "Anonymous12"}, {24, "Anonymous24"}};
    for (const auto& row : rows) {
        admitChatter(server, row.slot, peer(row.slot));
        const Chatter& chatter = server.chatters[row.slot];
        EXPECT_TRUE(chatter.active);
        EXPECT_EQ(chatter.peer, peer(row.slot));
        EXPECT_EQ(chatter.name, row.name);
        EXPECT_EQ(reinterpret_cast<std::intptr_t>(peer(row.slot)->data), row.slot);
        EXPECT_EQ(chatterSlotOf(server, peer(row.slot)), row.slot);
    }
}

TEST_F(RosterTest, FirstTwentyFiveSlotsInTurnThenTheLowestFree) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(admitNext(i), i);
    releaseChatter(server, 1, peer(1));
    EXPECT_EQ(admitNext(1), 3) << "a freed slot waits until 25 connections were made";
    for (int i = 4; i < 25; ++i) EXPECT_EQ(admitNext(i), i);
    releaseChatter(server, 7, peer(7));
    releaseChatter(server, 0, peer(0));
    EXPECT_EQ(admitNext(7), 0);
    EXPECT_EQ(admitNext(0), 1);
    EXPECT_EQ(admitNext(1), 7);
    EXPECT_EQ(server.chatters[7].name, "Anonymous7");
    EXPECT_EQ(server.nextSlot, 28);
}

TEST_F(RosterTest, ReleaseFreesTheRecordAndClearsTheDataWord) {
    admitNext(0);
    renameChatter(server, 0, "Bob");
    releaseChatter(server, 0, peer(0));
    const Chatter& chatter = server.chatters[0];
    EXPECT_FALSE(chatter.active);
    EXPECT_EQ(chatter.name, "");
    EXPECT_EQ(chatter.peer, peer(0));
    EXPECT_EQ(peer(0)->data, nullptr);
    EXPECT_EQ(chatterSlotOf(server, peer(0)), -1);
}

TEST_F(RosterTest, RenameReturnsTheOldNameAndReplacesNamesWithBlanks) {
    admitNext(0);
    const struct { const char* requested; const char* pattern; } rows[] = {
        {"Bob", "Bob"},
        {"", ""},
        {"tab\tname", "tab\tname"},
        {"Bob Smith", "Lamer[1-9][0-9]*"},
        {" ", "Lamer[1-9][0-9]*"},
        {"Bob", "Bob"},
    };
    Text previous = "Anonymous0";
    for (const auto& row : rows) {
        EXPECT_EQ(renameChatter(server, 0, row.requested), previous);
        previous = server.chatters[0].name;
        EXPECT_TRUE(std::regex_match(previous, std::regex(row.pattern))) << row.requested << " -> " << previous;
    }
}

// The empty data word and slot 0 are both 0: a peer is matched to a record only if it holds it.
TEST_F(RosterTest, PeerIsMatchedOnlyToTheActiveRecordItHolds) {
    admitNext(0);
    EXPECT_EQ(chatterSlotOf(server, peer(1)), -1) << "empty data word of a peer that holds nothing";
    const std::intptr_t words[] = {0, 3, 25, 26, -1, 100000};
    for (std::intptr_t word : words) {
        peer(2)->data = reinterpret_cast<void*>(word);
        EXPECT_EQ(chatterSlotOf(server, peer(2)), -1) << word;
    }
    EXPECT_EQ(chatterSlotOf(server, nullptr), -1);
}

}  // namespace
