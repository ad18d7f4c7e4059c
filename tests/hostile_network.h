// The hostile-network suites' fixture: a fresh real chat-server per case on port 42069, test clients
// beside it, and the checks every case ends with (the server still runs, answers WHO with exactly the
// chatters connected, and stayed under 32 MiB when it runs uninstrumented).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/hostile_server.h"

const long MemoryLimitKiB = 32 * 1024;
const int LobbySize = 25;

std::vector<std::string> namesOf(const std::vector<ListedChatter>& chatters);
int countTexts(const ChatTestClient& client, const std::string& prefix);
bool sawText(const ChatTestClient& client, const std::string& text);
// Services every client until each holds count packets more than it had, or maxMs passed.
bool serviceUntilEach(std::deque<ChatTestClient>& clients, const std::vector<size_t>& before, size_t count,
                      int maxMs);

class HostileNetwork : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(enet_initialize(), 0);
        ASSERT_TRUE(startServerUnderTest(server, scaledMs(10000))) << serverConsole(server);
    }
    void TearDown() override {
        for (ChatTestClient& client : clients) stopTestClient(client);
        stopTestClient(probe);
        EXPECT_EQ(endServerUnderTest(server), "");
        enet_deinitialize();
    }

    // The server runs and lists exactly these names, in slot order, to a client that asks.
    void expectWho(ChatTestClient& asker, const std::vector<std::string>& names) {
        ASSERT_TRUE(serverAlive(server));
        std::vector<ListedChatter> listed;
        ASSERT_TRUE(askWho(asker, &listed, scaledMs(10000)));
        EXPECT_EQ(namesOf(listed), names);
    }

    // A fresh client joins, asks WHO, and leaves again.
    void expectWhoFromNewcomer(std::vector<std::string> names) {
        ASSERT_TRUE(joinServer(probe, scaledMs(5000)));
        std::string own = packetAsText(probe.packets[1]).substr(4);
        names.push_back(own);
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return std::atoi(a.c_str() + 9) < std::atoi(b.c_str() + 9);
        });
        expectWho(probe, names);
        disconnectTestClient(probe);
        drainTestClient(probe, 50);
        stopTestClient(probe);
    }

    void expectMemoryBounded(const char* name) {
        long peak = peakResidentKiB(server.pid), now = residentKiB(server.pid);
        std::printf("[hostile] %s: peak %ld KiB, resident %ld KiB%s\n", name, peak, now,
                    server.instrumented ? " (instrumented)" : "");
        if (!server.instrumented) {
            EXPECT_LT(peak, MemoryLimitKiB);
        }
    }

    // The line of the chatter in slot 0 still goes round; every client is serviced meanwhile.
    bool lobbyChatsOn(ChatTestClient& resident, const std::string& line) {
        size_t before = resident.packets.size();
        sendTestText(resident, "SAY " + line);
        long long end = nowMs() + scaledMs(5000);
        while (nowMs() < end) {
            for (ChatTestClient& client : clients) serviceTestClient(client, 0);
            usleep(1000);
            for (size_t i = before; i < resident.packets.size(); ++i)
                if (packetAsText(resident.packets[i]) == "SAY Anonymous0 " + line) return true;
        }
        return false;
    }

    ChatTestClient* addClient() {
        clients.emplace_back();
        return &clients.back();
    }

    ServerUnderTest server;
    std::deque<ChatTestClient> clients;
    ChatTestClient probe;
};
