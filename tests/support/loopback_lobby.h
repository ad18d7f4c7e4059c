// A chat server's record on a real loopback ENet host inside the test process, with test clients beside
// it. pump() services the server exactly as its loop does (serviceServer: at most one event taken and
// handled, then the laggards cut) and the clients too; the server's console output is captured as bytes.
#pragma once

#include <deque>
#include <string>

#include "server/chat_server.h"
#include "tests/support/chat_test_client.h"

struct LoopbackLobby {
    ChatServer server;
    enet_uint16 port = 0;
    std::deque<ChatTestClient> clients;
    std::string console;       // everything the server printed while handling events
    bool handleEvents = true;  // false: take the server's event but drop it unhandled
};

// Creates the server host on 127.0.0.1 at a port the system picks. ENet must be up.
bool openLobby(LoopbackLobby& lobby);
void closeLobby(LoopbackLobby& lobby);

// One pass: the server's, then every client, then 1 ms of sleep.
void pump(LoopbackLobby& lobby);
// Passes for about ms milliseconds.
void pumpFor(LoopbackLobby& lobby, int ms);
// A new client, connected and welcomed (it has its whisper and NEW notice), or nullptr after 3 s.
// Its host's address holds the local address and port that the server sees.
ChatTestClient* joinLobby(LoopbackLobby& lobby);
// Pumps until the client holds count packets; false after maxMs.
bool pumpUntilPackets(LoopbackLobby& lobby, ChatTestClient& client, std::size_t count, int maxMs = 3000);
// Disconnects the client and pumps until the server has released its record; false after 3 s.
bool leaveLobby(LoopbackLobby& lobby, ChatTestClient& client);

// Runs fd 1 into a file while the server prints, and appends what it wrote to the lobby's console.
void beginCapture();
std::string endCapture();
