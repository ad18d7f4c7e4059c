// The server's state for the whole run: its ENet host and the roster of chatters, indexed by slot.
// The roster operations live in roster.h; the event loop in server_loop.h.
#pragma once

#include <enet/enet.h>

#include <cstdint>

#include "common/text.h"

constexpr int RosterSize = 26;
// Peers the host admits at once: one fewer than the roster holds, so a newcomer always finds a free record.
constexpr int ServerPeerLimit = 25;

struct Chatter {
    std::int32_t id = 0;      // its own slot while held, -1 once released, 0 if never used
    std::int32_t active = 0;  // 1 while a connected peer holds the record
    ENetPeer* peer = nullptr; // the holder's peer; left in place on release
    Text name;
};

struct ChatServer {
    ENetHost* host = nullptr;
    Chatter chatters[RosterSize];
    std::int32_t nextSlot = 0;  // admissions so far; never decreased
};
