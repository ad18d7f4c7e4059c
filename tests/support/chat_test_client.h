// A small ENet chat client for tests: one host, one connection, and what it received.
// Every wait is a bounded loop of service calls that stops by itself; nothing here asserts.
// Use it against a chat-server process, or beside a server host that the test services itself
// (call serviceTestClient with timeout 0 in the same loop that services the server).
#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <string>
#include <vector>

struct ChatTestClient {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false;     // a connect event came
    bool disconnected = false;  // a disconnect event came
    // Each received packet's bytes exactly as they arrived, terminating NUL included.
    std::vector<std::string> packets;
};

// Creates the client host and requests a connection (10 channels) to address:port. ENet must be up.
bool startTestClient(ChatTestClient& client, const char* address, enet_uint16 port);
// Takes every waiting event; waits at most timeoutMs for the first one (0: never waits).
void serviceTestClient(ChatTestClient& client, int timeoutMs);
// Service until connected, disconnected or maxMs passed; for a server in another process.
bool waitForConnection(ChatTestClient& client, int maxMs);
// Service until at least count packets arrived in all or maxMs passed.
bool waitForPackets(ChatTestClient& client, std::size_t count, int maxMs);
// Service for a fixed time, collecting whatever arrives.
void drainTestClient(ChatTestClient& client, int ms);

// Sends the text as one reliable packet on channel 0, with its NUL (or without), and flushes.
void sendTestText(ChatTestClient& client, const std::string& text, bool withNul = true);
// Sends these bytes unchanged as one reliable packet on the given channel, and flushes.
void sendTestBytes(ChatTestClient& client, const void* data, std::size_t length, enet_uint8 channel = 0);

// Asks politely to disconnect and flushes; the host stays so the acknowledgement can be serviced.
void disconnectTestClient(ChatTestClient& client);
// Destroys the host; safe to call twice.
void stopTestClient(ChatTestClient& client);

// A received packet as text: up to its first NUL, as the chat programs read it.
std::string packetAsText(const std::string& packet);
// The texts of all received packets, in order of arrival.
std::vector<std::string> receivedTexts(const ChatTestClient& client);
