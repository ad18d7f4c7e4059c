// The server's state for the whole run: its ENet host and the roster of chatters, indexed by slot.
// The roster operations live in roster.h; the event loop in server_loop.h.
#pragma once

#include <enet/enet.h>

#include <cstddef>
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

// The messages the server has handed to ENet and ENet still holds, until every recipient acknowledged
// them: past this, the loop takes no new event until ENet has sent enough. Meanwhile ENet keeps reading
// and holds at most its waiting-data limit per peer, so a chatter that sends long lines faster than the
// server relays them is slowed down by ENet itself (its data is no longer acknowledged) instead of
// growing the server's memory. A line of 1 MiB to 25 chatters keeps about 3 MiB: the message once,
// and ENet's record of each of its pieces for each chatter.
constexpr std::size_t RelayBacklogLimit = 4u << 20;

struct ChatServer {
    ENetHost* host = nullptr;
    Chatter chatters[RosterSize];
    std::int32_t nextSlot = 0;   // admissions so far; never decreased
    std::size_t queuedBytes = 0; // bytes of the messages handed to ENet that it has not yet freed
};
