// The server's event loop: each pass takes at most one event and handles it (server_events.h), cuts off
// the chatters past their limits (limits.h), pings when due and reads the quit key.
#pragma once

#include "server/chat_server.h"

constexpr double PingInterval = 5.0;

// Runs passes until Esc is read: one event, the laggards cut, the ping sweep when due, a 1 ms pause, one key.
void serverLoop(ChatServer& server);

// One pass's network work: the pass's event, if any, taken and handled, then the laggards cut. True
// when an event was handled.
bool serviceServer(ChatServer& server, ENetEvent& event);

// This pass's event: every other pass, while a chatter's goodbye is held, its next waiting line, or,
// once none waits, its leaving (and no event); otherwise ENet's. True when there is an event to handle.
bool takeServerEvent(ChatServer& server, ENetEvent& event);

// Cuts off every chatter the limits choose: past its backlog limit, left unread too long, or lagging
// most behind a speaker held back too long.
void cutOffLaggards(ChatServer& server);

// Pings the peer of every active chatter, slots in ascending order.
void pingChatters(ChatServer& server);
