// The server's state for the whole run: its ENet host and the roster of chatters, indexed by slot.
// The roster operations live in roster.h; the event loop in server_loop.h; what each chatter may have
// the server hold, coming and going, in limits.h.
#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>

#include "common/host_guard.h"
#include "common/text.h"
#include "server/limits.h"

struct Chatter {
    bool active = false;      // while a connected peer holds the record
    ENetPeer* peer = nullptr; // the holder's peer; left in place on release
    Text name;
    std::int32_t admission = 0;       // which admission of the run holds the record; 0 for none
    std::size_t backlogBytes = 0;     // messages to this chatter that ENet still holds
    std::size_t backlogMessages = 0;
    std::size_t aheadBytes = 0;       // its messages still on their way to some listener
    std::size_t aheadMessages = 0;
    double heldBackSince = 0;         // server clock when it was last held back, 0 while it is not
    bool leaving = false;             // its goodbye came while lines it sent still waited
    std::size_t intakeBound = 0;      // at least as many as ENet holds from it for the loop
    bool intakeHandled = false;       // the loop has taken one of them since they were counted
    RefusedRecord refused;            // its messages the server left unread
};

struct ChatServer {
    ENetHost* host = nullptr;
    Chatter chatters[RosterSize];
    std::int32_t nextSlot = 0;     // admissions so far, never decreased: also tells one holder of a
                                   // slot from the next
    bool leaverServed = false;     // the last pass took a leaver's line; the next takes ENet's event
    int speaker = -1;              // the slot whose message is being handled: what is sent meanwhile is
                                   // counted as that chatter's (-1 for none)
};
