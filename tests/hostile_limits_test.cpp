// The real chat-server against what one chatter, hostile or unlucky, could do to the others: a peer
// that stops reading while long lines are said, floods of tiny packets, half-open connects from one
// socket, and names too long for the list. Each case prints its figures on a line beginning with
// "[hostile]".
#include <arpa/inet.h>

#include "common/protocol.h"
#include "server/limits.h"
#include "tests/hostile_network.h"

namespace {

// A connect request as an ENet client sends it, from a raw socket that will never complete it.
std::string forgedConnect(enet_uint32 connectID) {
    struct {
        ENetProtocolHeader header;
        ENetProtocolConnect connect;
    } __attribute__((packed)) datagram{};
    datagram.header.peerID = htons(ENET_PROTOCOL_MAXIMUM_PEER_ID | ENET_PROTOCOL_HEADER_FLAG_SENT_TIME);
    ENetProtocolConnect& c = datagram.connect;
    c.header.command = ENET_PROTOCOL_COMMAND_CONNECT | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE;
    c.header.channelID = 0xFF;
    c.header.reliableSequenceNumber = htons(1);
    c.incomingSessionID = c.outgoingSessionID = 0xFF;
    c.mtu = htonl(1400);
    c.windowSize = htonl(32768);
    c.channelCount = htonl(ChatChannelCount);
    c.packetThrottleInterval = htonl(5000);
    c.packetThrottleAcceleration = c.packetThrottleDeceleration = htonl(2);
    c.connectID = connectID;
    return std::string(reinterpret_cast<const char*>(&datagram), sizeof datagram);
}


// one's backlog passes its limit, and it is cut off and announced; a newcomer is welcomed.
TEST_F(HostileNetwork, ASilentPeerHoldingLongLinesIsCutOffAndTheLobbyChatsOn) {
    ChatTestClient* resident = addClient();
    ChatTestClient* speaker = addClient();
    ChatTestClient silent;  // not among the clients, so never serviced once it has joined
    for (ChatTestClient* client : {resident, speaker, &silent}) ASSERT_TRUE(joinServer(*client, scaledMs(5000)));
    const std::string line = "SAY " + std::string(1 << 20, 'l');
    for (int i = 0; i < 12; ++i) sendTestText(*speaker, line);
    long long start = nowMs(), end = start + scaledMs(35000), longestWait = 0;
    int said = 0;
    while (!sawText(*resident, "OLD Anonymous2") && nowMs() < end) {
        long long asked = nowMs();
        ASSERT_TRUE(lobbyChatsOn(*resident, "short " + std::to_string(said++)));
        longestWait = std::max(longestWait, nowMs() - asked);
        serviceTestClient(*speaker, 0);
        speaker->packets.clear();
    }
    std::printf("[hostile] silent peer: cut off after %lld ms; %d short lines, the slowest back in %lld ms\n",
                nowMs() - start, said, longestWait);
    EXPECT_TRUE(sawText(*resident, "OLD Anonymous2"));
    stopTestClient(silent);
    expectWhoFromNewcomer({"Anonymous0", "Anonymous1"});
    expectMemoryBounded("silent peer");
}

// A script sends 20,000 renames at once while five chatters talk, each keeping one line in flight. The
// others' lines keep coming back quickly, and the sender either finishes or is announced gone no later
// than 1 s after its own ENet gave up, and is no longer listed.
TEST_F(HostileNetwork, ABurstOfRenamesEndsCleanlyAndTheLobbyChatsOn) {
    std::vector<ChatTestClient*> talkers;
    for (int i = 0; i < 5; ++i) talkers.push_back(addClient());
    ChatTestClient* sender = addClient();
    for (ChatTestClient& client : clients) ASSERT_TRUE(joinServer(client, scaledMs(5000)));
    const int renames = 20000;
    for (int i = 0; i < renames; ++i) sendTestText(*sender, "REN burst" + std::to_string(i));
    std::vector<long long> waits, asked(talkers.size(), 0);
    std::vector<int> said(talkers.size(), 0);
    long long start = nowMs(), end = start + scaledMs(60000), senderGone = 0, oldSeen = 0;
    bool finished = false;
    while (!finished && !(senderGone != 0 && oldSeen != 0) && nowMs() < end) {
        for (ChatTestClient& client : clients) serviceTestClient(client, 0);
        if (sender->disconnected && senderGone == 0) senderGone = nowMs();
        const std::string last = "NME burst" + std::to_string(renames - 2) + " burst" + std::to_string(renames - 1);
        finished = sawText(*talkers[0], last);
        if (oldSeen == 0 && countTexts(*talkers[0], "OLD ") > 0) oldSeen = nowMs();
        for (size_t t = 0; t < talkers.size(); ++t) {
            const std::string line = "SAY Anonymous" + std::to_string(t) + " line " + std::to_string(said[t]);
            if (asked[t] != 0 && sawText(*talkers[t], line)) {
                waits.push_back(nowMs() - asked[t]);
                ++said[t];
                asked[t] = 0;
                talkers[t]->packets.clear();
            }
            if (asked[t] == 0) {
                sendTestText(*talkers[t], "SAY line " + std::to_string(said[t]));
                asked[t] = nowMs();
            }
        }
        usleep(1000);
    }
    std::sort(waits.begin(), waits.end());
    long long p99 = waits.empty() ? -1 : waits[waits.size() * 99 / 100];
    std::printf("[hostile] rename burst: %s after %lld ms, sender's ENet gave up at %lld ms, OLD at %lld ms; "
                "%zu lines, p99 %lld ms\n", finished ? "finished" : "not finished", nowMs() - start,
                senderGone ? senderGone - start : -1, oldSeen ? oldSeen - start : -1, waits.size(), p99);
    EXPECT_LT(p99, 2000);
    EXPECT_GE(p99, 0);
    std::vector<std::string> names = {"Anonymous0", "Anonymous1", "Anonymous2", "Anonymous3", "Anonymous4"};
    if (finished) {
        names.push_back("burst" + std::to_string(renames - 1));
    } else {
        ASSERT_NE(senderGone, 0);
        ASSERT_NE(oldSeen, 0);
        EXPECT_LE(oldSeen, senderGone + 1000);
    }
    expectWho(*talkers[0], names);
}

// One chatter, then 24 at once, send empty packets, 1-byte packets and empty lines as fast as ENet takes
// them. What the server holds of each is bounded by count, so its memory stays flat and the lobby chats on.
TEST_F(HostileNetwork, FloodsOfTinyPacketsLeaveMemoryFlat) {
    ChatTestClient* resident = addClient();
    ASSERT_TRUE(joinServer(*resident, scaledMs(5000)));
    std::vector<ChatTestClient*> flooders;
    for (int i = 1; i < LobbySize; ++i) {
        flooders.push_back(addClient());
        ASSERT_TRUE(joinServer(*flooders.back(), scaledMs(5000)));
    }
    long before = residentKiB(server.pid);
    for (size_t count : {size_t(1), flooders.size()}) {
        for (const std::string& packet : {std::string(), std::string("x"), std::string("SAY ")}) {
            long long end = nowMs() + 700;
            while (nowMs() < end) {
                for (size_t i = 0; i < count; ++i) {
                    for (int burst = 0; burst < 50; ++burst) sendTestBytes(*flooders[i], packet.data(), packet.size());
                    serviceTestClient(*flooders[i], 0);
                    flooders[i]->packets.clear();
                }
                serviceTestClient(*resident, 0);
            }
            ASSERT_TRUE(lobbyChatsOn(*resident, "after " + std::to_string(count) + " flooders"));
            long grown = peakResidentKiB(server.pid) - before;
            std::printf("[hostile] tiny packets '%s' from %zu: peak grew %ld KiB\n", packet.c_str(), count, grown);
            if (!server.instrumented) {
                EXPECT_LT(grown, count == 1 ? 8 * 1024 : 96 * 1024);
            }
        }
    }
    expectMemoryBounded("tiny packets");
}

// One socket asks to connect 30 times and never completes: it holds one peer at most, so 24 chatters,
// each from a port of its own, still all get in.
TEST_F(HostileNetwork, HalfOpenConnectsFromOneSocketKeepNobodyOut) {
    int raw = openRawSocket();
    ASSERT_GE(raw, 0);
    for (enet_uint32 id = 1; id <= 30; ++id) sendRawDatagram(raw, forgedConnect(id));
    usleep(100 * 1000);
    for (int i = 0; i < LobbySize - 1; ++i) {
        ChatTestClient* client = addClient();
        ASSERT_TRUE(startTestClient(*client, "127.0.0.1", ChatPort));
    }
    std::vector<size_t> none(clients.size(), 0);
    EXPECT_TRUE(serviceUntilEach(clients, none, 2, scaledMs(5000)));
    close(raw);
    expectWho(clients.front(), [] {
        std::vector<std::string> names;
        for (int slot = 0; slot < LobbySize - 1; ++slot) names.push_back("Anonymous" + std::to_string(slot));
        return names;
    }());
}

// A name too long for the list reply becomes a "Lamer" name; one just short of that is kept, and the list
// of chatters still reaches whoever asks.
TEST_F(HostileNetwork, NamesTooLongForTheListBecomeLamerNames) {
    ChatTestClient* renamer = addClient();
    ChatTestClient* other = addClient();
    for (ChatTestClient* client : {renamer, other}) ASSERT_TRUE(joinServer(*client, scaledMs(5000)));
    auto renameTo = [&](const std::string& name) {
        size_t before = other->packets.size();
        sendTestText(*renamer, "REN " + name);
        long long end = nowMs() + scaledMs(5000);
        while (other->packets.size() == before && nowMs() < end) {
            serviceTestClient(*renamer, 0);
            serviceTestClient(*other, 1);
        }
        return other->packets.size() > before ? receivedTexts(*other).back() : std::string();
    };
    EXPECT_EQ(renameTo(std::string(NameLimit + 1, 'n')).rfind("NME Anonymous0 Lamer", 0), 0u);
    const std::string longest(NameLimit, 'm');
    const std::string renamed = renameTo(longest);
    EXPECT_TRUE(renamed.size() > longest.size() && renamed.substr(renamed.size() - longest.size() - 1) == " " + longest);
    // The list, with the longest name in it, reaches the asker.
    size_t before = other->packets.size();
    sendTestText(*other, "WHO ");
    ASSERT_TRUE(waitForPackets(*other, before + 1, scaledMs(5000)));
    const std::string list = receivedTexts(*other).back();
    EXPECT_EQ(list.rfind("WSP Lobby Chatters:\r\n" + longest + " (#0, ", 0), 0u);
    EXPECT_NE(list.find("\r\nAnonymous1 (#1, "), std::string::npos);
}

}  // namespace
