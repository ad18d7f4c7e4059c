// The benchmark's simulated chatters: one ENet client host each, connected like the real client
// (10 channels, every message reliable on channel 0 and flushed at once), all serviced together from
// one loop that waits briefly on their sockets instead of spinning.
#pragma once

#include <enet/enet.h>

#include <vector>

#include "bench/child_process.h"
#include "common/text.h"

struct BenchChatter {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false;
    bool welcomed = false;    // the welcome whisper has arrived
    bool announced = false;   // its own NEW notice, the first one after the welcome, has arrived
    bool lost = false;        // ENet reported the connection gone
    bool serviced = true;     // false: serviceChatters leaves its host alone (a peer gone silent, or one
                              // whose caller services it itself)
    Text name;
};

// One message as a chatter received it.
struct Arrival {
    int chatter = 0;
    Text text;
    double time = 0;
    size_t bytes = 0;  // the packet's length, terminating NUL included
};

// Creates the hosts and starts their connections to 127.0.0.1 at the port; does not wait for them.
bool openChatter(BenchChatter* chatter, enet_uint16 port, Text* error);
// Disconnects politely, gives ENet a moment to send the request, and destroys the host.
void closeChatter(BenchChatter* chatter);
void closeChatters(std::vector<BenchChatter>* chatters);
// Sends the text with its NUL, reliable on channel 0, and flushes.
void sayText(BenchChatter* chatter, const Text& text);

// Waits up to waitMs for a datagram on any chatter's socket or output on the console pipe, drains the
// console, services the hosts that have traffic (all of them every few milliseconds, for ENet's own
// timers) and appends every message received. console may be null. Chatters not serviced, or without a
// host, are skipped.
void serviceChatters(std::vector<BenchChatter>* chatters, ChildProcess* console, int waitMs,
                     std::vector<Arrival>* arrivals);
// Services until every chatter is welcomed and announced, or the time is up; false on time-out.
bool awaitJoined(std::vector<BenchChatter>* chatters, ChildProcess* console, double seconds);
int joinedCount(const std::vector<BenchChatter>& chatters);
