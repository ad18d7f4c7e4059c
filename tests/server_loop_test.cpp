// The server's handling of connect, receive and disconnect events, driven by real ENet clients on
// loopback: what each chatter receives, byte for byte, and what the server prints.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/host_guard.h"
#include "server/limits.h"
#include "server/server_loop.h"
#include "tests/support/loopback_lobby.h"

namespace {

using Texts = std::vector<std::string>;

const std::string Divider(75, '-');

std::string trace(const std::string& text) {
    return Divider + "\r\n" + "DATA TO SEND:           " + text + "\r\n" + "DATA ENET WANTS TO SEND:" + text + "\r\n";
}

class ServerLoopTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(initEnet(), 0);
        ASSERT_TRUE(openLobby(lobby));
    }
    void TearDown() override {
        closeLobby(lobby);
        enet_deinitialize();
    }
    ChatTestClient& join() {
        // On failure the test goes on with the unjoined client and fails at its next expectation.
        EXPECT_NE(joinLobby(lobby), nullptr) << "a client could not join";
        return lobby.clients.back();
    }
    // Sends a text and waits until the watcher holds one more packet; false when none came.
    bool sayAndWait(ChatTestClient& from, const std::string& text, ChatTestClient& watcher) {
        std::size_t before = watcher.packets.size();
        sendTestText(from, text);
        return pumpUntilPackets(lobby, watcher, before + 1);
    }
    std::string last(const ChatTestClient& client) { return packetAsText(client.packets.back()); }

    LoopbackLobby lobby;
};

TEST_F(ServerLoopTest, JoinSendsWelcomeThenNewWithTerminatingNul) {
    ChatTestClient& first = join();
    ASSERT_EQ(first.packets.size(), 2u);
    EXPECT_EQ(first.packets[0], std::string("WSP Lobby Welcome to the lobby!", 32));
    EXPECT_EQ(first.packets[1], std::string("NEW Anonymous0", 15));

    ChatTestClient& second = join();
    EXPECT_EQ(receivedTexts(second), (Texts{"WSP Lobby Welcome to the lobby!", "NEW Anonymous1"}));
    ASSERT_TRUE(pumpUntilPackets(lobby, first, 3));
    pumpFor(lobby, 50);
    EXPECT_EQ(receivedTexts(first), (Texts{"WSP Lobby Welcome to the lobby!", "NEW Anonymous0", "NEW Anonymous1"}));
}

TEST_F(ServerLoopTest, JoinAndSayConsoleTranscriptByteForByte) {
    ChatTestClient& client = join();
    ASSERT_TRUE(sayAndWait(client, "SAY hi", client));
    std::string connectLine = "Cli0 connected from 16777343:" + std::to_string(client.host->address.port) + "\r\n";
    EXPECT_EQ(lobby.console, connectLine + trace("WSP Lobby Welcome to the lobby!") + trace("NEW Anonymous0") +
                                 trace("SAY Anonymous0 hi"));
}

TEST_F(ServerLoopTest, SayIsRelayedUnchangedToEveryone) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    struct Row { std::string sent, relayed; };
    const Row rows[] = {
        {"SAY hello", "SAY Anonymous0 hello"},
        {"SAY ", "SAY Anonymous0 "},
        {"SAY  two  blanks ", "SAY Anonymous0  two  blanks "},
        {"SAY a\r\nb\x1b[2J\xff" "H", "SAY Anonymous0 a\r\nb\x1b[2J\xff" "H"},
    };
    for (const Row& row : rows) {
        std::size_t aliceBefore = alice.packets.size();
        ASSERT_TRUE(sayAndWait(alice, row.sent, bob)) << row.sent;
        ASSERT_TRUE(pumpUntilPackets(lobby, alice, aliceBefore + 1));
        EXPECT_EQ(last(bob), row.relayed);
        EXPECT_EQ(last(alice), row.relayed);
        EXPECT_EQ(bob.packets.back().size(), row.relayed.size() + 1);
    }
}

TEST_F(ServerLoopTest, RenameAnnouncesOldAndNewName) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(sayAndWait(alice, "REN Bob", bob));
    EXPECT_EQ(last(bob), "NME Anonymous0 Bob");
    // A name another chatter holds is accepted.
    ASSERT_TRUE(sayAndWait(bob, "REN Bob", bob));
    EXPECT_EQ(last(bob), "NME Anonymous1 Bob");
    // A requested name with a blank becomes "Lamer" and whole seconds.
    ASSERT_TRUE(sayAndWait(alice, "REN Bob Smith", bob));
    EXPECT_TRUE(std::regex_match(last(bob), std::regex("NME Bob Lamer[1-9][0-9]*"))) << last(bob);
    std::string lamer = last(bob).substr(8);
    EXPECT_EQ(lobby.server.chatters[0].name, lamer);
    // An empty request empties the name; the notice ends with the blank after the old name.
    ASSERT_TRUE(sayAndWait(alice, "REN ", bob));
    EXPECT_EQ(last(bob), "NME " + lamer + " ");
    ASSERT_TRUE(sayAndWait(alice, "SAY x", bob));
    EXPECT_EQ(last(bob), "SAY  x");
    // Tabs are not blanks.
    ASSERT_TRUE(sayAndWait(bob, "REN a\tb", bob));
    EXPECT_EQ(last(bob), "NME Bob a\tb");
}

TEST_F(ServerLoopTest, WhoListsActiveChattersInSlotOrderToTheRequesterAlone) {
    const std::string figure = "(0|[1-9][0-9]*)";
    const std::string figures = figure + " \\+/- " + figure + ", " + figure + ", " + figure + ", " + figure;
    ChatTestClient& alice = join();
    ASSERT_TRUE(sayAndWait(alice, "WHO ", alice));
    EXPECT_TRUE(std::regex_match(last(alice), std::regex("WSP Lobby Chatters:\r\nAnonymous0 \\(#0, " + figures +
                                                         "\\)\r\n")))
        << last(alice);

    ChatTestClient& bob = join();
    ChatTestClient& carol = join();
    ASSERT_TRUE(sayAndWait(alice, "REN ", carol));
    ASSERT_TRUE(leaveLobby(lobby, bob));
    std::size_t carolBefore = carol.packets.size();
    ASSERT_TRUE(sayAndWait(carol, "WHO and more words", carol));
    EXPECT_TRUE(std::regex_match(last(carol), std::regex("WSP Lobby Chatters:\r\n \\(#0, " + figures + "\\)\r\n" +
                                                         "Anonymous2 \\(#2, " + figures + "\\)\r\n")))
        << last(carol);
    pumpFor(lobby, 50);
    EXPECT_EQ(carol.packets.size(), carolBefore + 1);
    EXPECT_EQ(last(alice), "OLD Anonymous1") << "the list went to a chatter who did not ask";
}

TEST_F(ServerLoopTest, LeaverIsAnnouncedToTheOthersWithTheNameItHeld) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(sayAndWait(bob, "REN Zed", alice));
    std::size_t aliceBefore = alice.packets.size();
    std::size_t bobBefore = bob.packets.size();
    lobby.console.clear();
    ASSERT_TRUE(leaveLobby(lobby, bob));
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, aliceBefore + 1));
    EXPECT_EQ(last(alice), "OLD Zed");
    EXPECT_EQ(lobby.console, "Cli1 disconnected.\r\n" + trace("OLD Zed"));
    EXPECT_EQ(bob.packets.size(), bobBefore);
    const Chatter& released = lobby.server.chatters[1];
    EXPECT_FALSE(released.active);
    EXPECT_EQ(released.name, "");
    // The last chatter leaving still traces its notice, which reaches nobody.
    lobby.console.clear();
    ASSERT_TRUE(leaveLobby(lobby, alice));
    EXPECT_EQ(lobby.console, "Cli0 disconnected.\r\n" + trace("OLD Anonymous0"));
}

TEST_F(ServerLoopTest, FreedSlotIsReusedOnlyAfterTwentyFiveConnections) {
    std::vector<ChatTestClient*> chatters;
    for (int i = 0; i < 3; ++i) chatters.push_back(&join());
    ASSERT_TRUE(leaveLobby(lobby, *chatters[1]));
    chatters.push_back(&join());
    EXPECT_EQ(last(*chatters[3]), "NEW Anonymous3");
    // From here on chatters[i] holds slot i.
    for (int i = 4; i < 25; ++i) chatters.push_back(&join());
    ASSERT_EQ(lobby.server.nextSlot, 25);
    ASSERT_TRUE(sayAndWait(*chatters[7], "REN Gone", *chatters[7]));
    ASSERT_EQ(lobby.server.chatters[7].name, "Gone");
    ASSERT_TRUE(leaveLobby(lobby, *chatters[7]));
    EXPECT_EQ(last(join()), "NEW Anonymous1");
    ChatTestClient& last7 = join();
    EXPECT_EQ(packetAsText(last7.packets[1]), "NEW Anonymous7");
    EXPECT_NE(lobby.console.find("Cli7 connected from 16777343:"), std::string::npos);
}

TEST_F(ServerLoopTest, OddMessagesAreReportedAndAnswerNobody) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    struct Row { std::string bytes, line; };
    const Row rows[] = {
        {std::string("SAYHELLO", 9), "SAYH"},
        {std::string("WHO", 4), "WHO"},
        {std::string("say hi", 7), "say "},
        {std::string("AB", 3), "AB"},
        {std::string("", 1), ""},
        {std::string("/help me", 9), "/hel"},
        {std::string("\0SAY hi", 8), ""},
    };
    for (const Row& row : rows) {
        lobby.console.clear();
        sendTestBytes(alice, row.bytes.data(), row.bytes.size());
        pumpFor(lobby, 60);
        EXPECT_EQ(lobby.console, "Unknown packet identifier: " + row.line + "\r\n") << row.line;
    }
    EXPECT_EQ(alice.packets.size(), 3u);
    EXPECT_EQ(bob.packets.size(), 2u);
    EXPECT_EQ(lobby.server.chatters[0].name, "Anonymous0");
}

TEST_F(ServerLoopTest, TextEndsAtTheFirstNulOrThePacketEnd) {
    ChatTestClient& alice = join();
    struct Row { std::string bytes, relayed; enet_uint8 channel; };
    const Row rows[] = {
        {"SAY no terminator", "SAY Anonymous0 no terminator", 0},
        {std::string("SAY hi\0garbage", 15), "SAY Anonymous0 hi", 0},
        {std::string("SAY other channel", 18), "SAY Anonymous0 other channel", 3},
    };
    for (const Row& row : rows) {
        std::size_t before = alice.packets.size();
        sendTestBytes(alice, row.bytes.data(), row.bytes.size(), row.channel);
        ASSERT_TRUE(pumpUntilPackets(lobby, alice, before + 1)) << row.relayed;
        EXPECT_EQ(alice.packets.back(), row.relayed + std::string(1, '\0'));
    }
}

TEST_F(ServerLoopTest, PingSweepQueuesAPingForActiveChattersOnly) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    pumpFor(lobby, 50);
    ENetPeer* alicePeer = lobby.server.chatters[0].peer;
    ENetPeer* bobPeer = lobby.server.chatters[1].peer;
    ASSERT_TRUE(leaveLobby(lobby, bob));
    ASSERT_TRUE(enet_list_empty(&alicePeer->outgoingCommands));
    pingChatters(lobby.server);
    EXPECT_EQ(enet_list_size(&alicePeer->outgoingCommands), 1u);
    EXPECT_TRUE(enet_list_empty(&bobPeer->outgoingCommands));
    EXPECT_EQ(lobby.console.find("PING"), std::string::npos);
    (void)alice;
}

// Lines far past the size at which ENet cuts a packet into fragments reach every chatter whole, and the
// sender's next line follows. A message past the limit never arrives; the others chat on.
TEST_F(ServerLoopTest, LongLinesAreRelayedWholeAndTheNextFollows) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    for (std::size_t length : {std::size_t(1500), std::size_t(4096), std::size_t(65536), std::size_t(1) << 20}) {
        std::string body(length, 'a');
        for (std::size_t i = 0; i < length; ++i) body[i] = static_cast<char>('a' + i % 26);
        std::size_t before = bob.packets.size();
        sendTestText(alice, "SAY " + body);
        sendTestText(alice, "SAY next");
        ASSERT_TRUE(pumpUntilPackets(lobby, bob, before + 2, 20000)) << length;
        EXPECT_TRUE(bob.packets[before] == "SAY Anonymous0 " + body + std::string(1, '\0')) << length;
        EXPECT_EQ(bob.packets[before + 1], std::string("SAY Anonymous0 next", 20)) << length;
    }
    // The longest line a chatter may send is relayed whole with its name in front; one byte more would not
    // fit, and is never acknowledged.
    std::size_t before = bob.packets.size();
    sendTestText(alice, "SAY " + std::string(ChatterMessageLimit - 5, 'y'));
    ASSERT_TRUE(pumpUntilPackets(lobby, bob, before + 1, 20000));  // under Wine 2 MiB takes seconds
    EXPECT_EQ(bob.packets[before].size(), ChatterMessageLimit + std::string("Anonymous0 ").size());
    sendTestText(alice, "SAY " + std::string(ChatterMessageLimit - 4, 'z'));
    pumpFor(lobby, 200);
    ASSERT_TRUE(sayAndWait(bob, "SAY still here", bob));
    EXPECT_EQ(last(bob), "SAY Anonymous1 still here");
    EXPECT_EQ(bob.packets.size(), before + 2);
}

// While events wait to be handled, each pass still reads the socket and acknowledges what came.
TEST_F(ServerLoopTest, EachPassReadsTheSocketWhileEventsWait) {
    ChatTestClient& alice = join();
    pumpFor(lobby, 50);
    auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    for (int i = 0; i < 5; ++i) sendTestText(alice, "SAY first");
    settle();
    ENetEvent event{};
    beginCapture();
    EXPECT_TRUE(serviceServer(lobby.server, event));
    for (int i = 0; i < 5; ++i) sendTestText(alice, "SAY second");
    settle();
    enet_uint32 received = lobby.server.host->totalReceivedPackets;
    EXPECT_TRUE(serviceServer(lobby.server, event));
    lobby.console += endCapture();
    EXPECT_GT(lobby.server.host->totalReceivedPackets, received);
    settle();
    serviceTestClient(alice, 0);
    EXPECT_TRUE(enet_list_empty(&alice.peer->sentReliableCommands));
}

// Runs the server's own passes, with the clients that read, until done() or the time is up.
template <typename Done>
void passUntil(LoopbackLobby& lobby, const std::vector<ChatTestClient*>& readers, int ms, Done done) {
    ENetEvent event{};
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
        beginCapture();
        serviceServer(lobby.server, event);
        lobby.console += endCapture();
        for (ChatTestClient* reader : readers) serviceTestClient(*reader, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::size_t backlogTotal(const ChatServer& server) {
    std::size_t total = 0;
    for (const Chatter& chatter : server.chatters) total += chatter.backlogBytes + chatter.backlogMessages;
    return total;
}

// Long lines while listeners read nothing. The speaker is held to their pace: the server stops reading it,
// nobody is cut off within a moment, and once they read every line arrives. With one of them silent for
// longer, it is cut off and announced, and the speaker and the rest chat on.
TEST_F(ServerLoopTest, ASpeakerKeepsItsListenersPaceAndALoneLaggardIsCutOff) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ChatTestClient& carol = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 4));
    pumpFor(lobby, 50);
    const std::string line = "SAY " + std::string(1 << 18, 'b');
    for (int i = 0; i < 10; ++i) sendTestText(alice, line);
    passUntil(lobby, {&alice}, 500, [] { return false; });
    EXPECT_LT(alice.packets.size(), 4u + 10u);
    EXPECT_TRUE(lobby.server.chatters[1].active);
    EXPECT_TRUE(lobby.server.chatters[2].active);
    passUntil(lobby, {&alice, &bob, &carol}, 20000, [&] { return carol.packets.size() >= 2u + 10u; });
    EXPECT_EQ(carol.packets.size(), 12u);

    for (int i = 0; i < 10; ++i) sendTestText(alice, line);
    passUntil(lobby, {&alice, &carol}, 20000, [&] { return !lobby.server.chatters[1].active; });
    EXPECT_FALSE(lobby.server.chatters[1].active);
    EXPECT_NE(lobby.console.find("Cli1 disconnected."), std::string::npos);
    passUntil(lobby, {&alice, &carol}, 20000, [&] { return carol.packets.size() >= 12u + 11u; });
    std::size_t said = 0, notices = 0;
    for (const std::string& text : receivedTexts(carol)) {
        said += text.size() == line.size() + 11 ? 1 : 0;
        notices += text == "OLD Anonymous1" ? 1 : 0;
    }
    EXPECT_EQ(said, 20u);
    EXPECT_EQ(notices, 1u);
    passUntil(lobby, {&alice, &carol}, 3000, [&] { return backlogTotal(lobby.server) == 0; });
    EXPECT_EQ(backlogTotal(lobby.server), 0u);
}

// A newcomer's first line, sent with the acknowledgement that completes its connection, is taken at
// once, in an idle lobby and while another chatter keeps events waiting: ENet never sends it again.
TEST_F(ServerLoopTest, ANewcomersFirstLineIsTakenWithItsConnection) {
    ChatTestClient& talker = join();
    for (bool busy : {false, true}) {
        lobby.clients.emplace_back();
        ChatTestClient& newcomer = lobby.clients.back();
        ASSERT_TRUE(startTestClient(newcomer, "127.0.0.1", lobby.port));
        bool said = false;
        passUntil(lobby, {&talker}, 3000, [&] {
            for (int i = 0; busy && i < 3; ++i) sendTestText(talker, "SAY busy");
            serviceTestClient(newcomer, 0);
            if (!said && newcomer.peer->state == ENET_PEER_STATE_CONNECTED) sendTestText(newcomer, "SAY first"), said = true;
            for (const std::string& text : receivedTexts(newcomer))
                if (text.find(" first") != std::string::npos) return true;
            return false;
        });
        std::vector<std::string> texts = receivedTexts(newcomer);
        EXPECT_NE(std::find(texts.begin(), texts.end(), "SAY Anonymous" + std::to_string(busy ? 2 : 1) + " first"),
                  texts.end()) << (busy ? "busy" : "idle");
        EXPECT_EQ(newcomer.peer->packetsLost, 0u) << (busy ? "busy" : "idle");
    }
}

// A chatter says its lines, sends its goodbye once and is gone. Every line reaches the lobby before its
// leave notice, which comes without waiting for ENet to give the peer up; the others' lines meanwhile do
// not wait for all of the leaver's.
TEST_F(ServerLoopTest, AnAbruptLeaversLinesAllComeBeforeItsNotice) {
    ChatTestClient& watcher = join();
    ChatTestClient& leaver = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, watcher, 3));
    for (int i = 0; i < 30; ++i) sendTestText(leaver, "SAY line" + std::to_string(i));
    enet_peer_disconnect(leaver.peer, 0);
    enet_host_flush(leaver.host);
    enet_host_destroy(leaver.host);
    leaver.host = nullptr;
    leaver.peer = nullptr;
    sendTestText(watcher, "SAY meanwhile");
    passUntil(lobby, {&watcher}, 3000, [&] { return watcher.packets.size() >= 3u + 32u; });
    std::vector<std::string> texts = receivedTexts(watcher);
    ASSERT_EQ(texts.size(), 35u);
    texts.erase(std::find(texts.begin(), texts.end(), "SAY Anonymous0 meanwhile"));
    EXPECT_EQ(receivedTexts(watcher).back(), "OLD Anonymous1");
    for (int i = 0; i < 30; ++i) EXPECT_EQ(texts[3 + i], "SAY Anonymous1 line" + std::to_string(i));
    std::vector<std::string> all = receivedTexts(watcher);
    EXPECT_LT(std::find(all.begin(), all.end(), "SAY Anonymous0 meanwhile"),
              std::find(all.begin(), all.end(), "SAY Anonymous1 line29"));
}

// ENet asks for a datagram's checksum just before it sends it. While the server works its console goes
// to a capture file of its own; its size is noted at each datagram that carries the relayed line.
ino_t realStdout = 0;
std::vector<long long> consoleAtSend;

enet_uint32 notingChecksum(const ENetBuffer* buffers, std::size_t count) {
    std::string datagram;
    for (std::size_t i = 0; i < count; ++i) datagram.append(static_cast<const char*>(buffers[i].data), buffers[i].dataLength);
    struct stat output {};
    if (datagram.find("SAY Anonymous0 hi") != std::string::npos && fstat(1, &output) == 0 && output.st_ino != realStdout)
        consoleAtSend.push_back(output.st_size);
    return enet_crc32(buffers, count);
}

TEST_F(ServerLoopTest, EveryTraceIsWrittenBeforeItsDatagramsLeave) {
    ChatTestClient& alice = join();
    ChatTestClient& bob = join();
    ASSERT_TRUE(pumpUntilPackets(lobby, alice, 3));
    pumpFor(lobby, 50);
    struct stat output {};
    ASSERT_EQ(fstat(1, &output), 0);
    realStdout = output.st_ino;
    lobby.server.host->checksum = notingChecksum;
    alice.host->checksum = enet_crc32;
    bob.host->checksum = enet_crc32;
    lobby.console.clear();
    ASSERT_TRUE(sayAndWait(alice, "SAY hi", bob));
    const std::string traced = trace("SAY Anonymous0 hi");
    EXPECT_EQ(lobby.console, traced);
    ASSERT_GE(consoleAtSend.size(), 2u);
    for (long long size : consoleAtSend) EXPECT_EQ(size, static_cast<long long>(traced.size()));
}

}  // namespace
