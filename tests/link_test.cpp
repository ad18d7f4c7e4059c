// The real chat-server over links that are not perfect: chatters behind the impairment relay, and a
// chatter that says a line just before it leaves a busy lobby through the client's own leave procedure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "client/connection.h"
#include "common/protocol.h"
#include "tests/hostile_server.h"
#include "bench/impairment_relay.h"

namespace {

// The body after the sender's name in a relayed "SAY name body", or "" for any other message.
std::string relayedBody(const std::string& text) {
    if (text.compare(0, 4, "SAY ") != 0) return "";
    size_t blank = text.find(' ', 4);
    return blank == std::string::npos ? "" : text.substr(blank + 1);
}

int countLines(const ChatTestClient& client, const std::string& marker) {
    int lines = 0;
    for (const std::string& text : receivedTexts(client))
        lines += relayedBody(text).compare(0, marker.size(), marker) == 0;
    return lines;
}

class ServerProcess : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(enet_initialize(), 0);
        ASSERT_TRUE(startServerUnderTest(server, scaledMs(10000))) << serverConsole(server);
    }
    void TearDown() override {
        for (ChatTestClient& client : clients) stopTestClient(client);
        EXPECT_EQ(endServerUnderTest(server), "");
        enet_deinitialize();
    }
    void serviceAll(int ms) {
        long long end = nowMs() + ms;
        do {
            if (relay.listener >= 0) serviceRelay(relay, 1);
            for (ChatTestClient& client : clients) serviceTestClient(client, 0);
            if (relay.listener < 0) usleep(1000);
        } while (nowMs() < end);
    }
    ServerUnderTest server;
    ImpairmentRelay relay;
    std::vector<ChatTestClient> clients;
};

// 5 % loss each way, 25 +/- 15 ms one-way delay and 1 % duplication: ENet must still hand every line
// to every chatter exactly once and in its sender's order, and nobody may be dropped.
TEST_F(ServerProcess, BadLinkDeliversEveryLineOnceInItsSendersOrder) {
    const int Chatters = 5, Lines = 20;
    ASSERT_TRUE(openRelay(relay, ChatPort, {5, 25, 15, 1, 42069}));
    clients.resize(Chatters);
    for (ChatTestClient& client : clients) ASSERT_TRUE(startTestClient(client, "127.0.0.1", relay.port));
    // A chatter holding its welcome is connected at the server, so every later line is owed to it.
    long long end = nowMs() + scaledMs(20000);
    auto welcomed = [&] {
        for (const ChatTestClient& client : clients)
            if (client.packets.empty()) return false;
        return true;
    };
    while (!welcomed() && nowMs() < end) serviceAll(5);
    ASSERT_TRUE(welcomed());
    for (int line = 0; line < Lines; ++line) {
        for (int c = 0; c < Chatters; ++c) sendTestText(clients[c], "SAY c" + std::to_string(c) + "#" + std::to_string(line));
        serviceAll(50);
    }
    auto complete = [&] {
        for (const ChatTestClient& client : clients)
            if (countLines(client, "c") < Chatters * Lines || client.disconnected) return false;
        return true;
    };
    while (!complete() && nowMs() < end) serviceAll(10);
    serviceAll(300);  // late duplicates would show up now
    for (int receiver = 0; receiver < Chatters; ++receiver) {
        std::map<int, std::vector<int>> bySender;
        for (const std::string& text : receivedTexts(clients[receiver])) {
            std::string body = relayedBody(text);
            if (body.size() > 1 && body[0] == 'c') bySender[std::atoi(body.c_str() + 1)].push_back(std::atoi(body.c_str() + body.find('#') + 1));
        }
        for (int sender = 0; sender < Chatters; ++sender) {
            std::vector<int> expected;
            for (int line = 0; line < Lines; ++line) expected.push_back(line);
            EXPECT_EQ(bySender[sender], expected) << "chatter " << receiver << " from chatter " << sender;
        }
        EXPECT_FALSE(clients[receiver].disconnected) << "chatter " << receiver;
    }
    EXPECT_EQ(serverConsole(server).find(" disconnected."), std::string::npos);
    // The link really was bad: the relay dropped, duplicated and reordered datagrams.
    EXPECT_GT(relay.figures.dropped, 0);
    EXPECT_GT(relay.figures.duplicated, 0);
    EXPECT_GT(relay.figures.overtaken, 0);
    closeRelay(relay);
}

// While eight chatters keep the server busy, each of three quitters says a line 10 ms before it leaves
// the way chat-client leaves. Every line must reach the lobby, before the quitter's leave notice.
TEST_F(ServerProcess, LineSaidJustBeforeLeavingABusyLobbyArrives) {
    const int Loaders = 8, InFlight = 4, Quitters = 3;
    clients.resize(Loaders);
    for (ChatTestClient& client : clients) ASSERT_TRUE(joinServer(client, scaledMs(5000)));
    // Each loader sends its next line as soon as one of its own comes back.
    std::vector<size_t> scanned(Loaders, 0);
    for (int c = 0; c < Loaders; ++c)
        for (int line = 0; line < InFlight; ++line) sendTestText(clients[c], "SAY L" + std::to_string(c));
    auto keepBusy = [&] {
        for (int c = 0; c < Loaders; ++c)
            for (; scanned[c] < clients[c].packets.size(); ++scanned[c])
                if (relayedBody(packetAsText(clients[c].packets[scanned[c]])) == "L" + std::to_string(c))
                    sendTestText(clients[c], "SAY L" + std::to_string(c));
    };
    for (int round = 0; round < Quitters; ++round) {
        ChatTestClient quitter;
        ASSERT_TRUE(joinServer(quitter, scaledMs(5000)));
        std::string name = packetAsText(quitter.packets[1]).substr(4);
        long long settle = nowMs() + 1000;  // the quitter chats a while: its first ping is long answered
        while (nowMs() < settle) keepBusy(), serviceAll(1), serviceTestClient(quitter, 0);
        std::string line = "last#" + std::to_string(round);
        size_t watched = clients[0].packets.size();
        sendTestText(quitter, "SAY " + line);
        serviceAll(10);  // one pass of the client's loop
        leaveServer(quitter.host, quitter.peer);
        stopTestClient(quitter);
        const std::vector<std::string> expected = {"SAY " + name + " " + line, "OLD " + name};
        std::vector<std::string> seen;
        long long end = nowMs() + scaledMs(5000);
        while (seen.size() < 2 && nowMs() < end) {
            keepBusy();
            serviceAll(1);
            for (; watched < clients[0].packets.size(); ++watched) {
                std::string text = packetAsText(clients[0].packets[watched]);
                if (text == expected[0] || text == expected[1]) seen.push_back(text);
            }
        }
        EXPECT_EQ(seen, expected) << "round " << round;
    }
    for (int c = 0; c < Loaders; ++c) EXPECT_FALSE(clients[c].disconnected) << "loader " << c << " was dropped";
}

}  // namespace
