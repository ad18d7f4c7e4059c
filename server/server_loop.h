// The server's event loop and its handling of ENet events: admitting, relaying, renaming, listing and
// announcing leavers. Each handling is a procedure on the ChatServer record, so it can be driven by
// events from any host; the loop only polls ENet, pings and reads the quit key.
#pragma once

#include "server/chat_server.h"

constexpr double PingInterval = 5.0;

// Runs passes until Esc is read: one event, the ping sweep when due, a 1 ms pause, one key.
void serverLoop(ChatServer& server);

// One pass's network work: at most one event is taken and handled. A chatter whose goodbye is held has
// every other pass: its next waiting line, or, once none waits, its leaving. Then chatters that cannot keep up are
// cut off. True when an event was handled.
bool serviceServer(ChatServer& server, ENetEvent& event);

// Handles one event that ENet handed out and destroys its packet, if any.
void handleServerEvent(ChatServer& server, ENetEvent& event);

// Ends a chatter's connection from the server's side: its peer is told and reset, and the chatter is
// announced and released as if ENet had reported it gone.
void endChatter(ChatServer& server, int slot);

// Cuts off every chatter whose backlog has passed its limit, and the one that lags most behind a speaker
// held back for longer than HeldBackLimitSeconds.
void cutOffLaggards(ChatServer& server);

// Pings the peer of every active chatter, slots in ascending order.
void pingChatters(ChatServer& server);

// The list reply's text after "WSP Lobby ": a heading and one line per active chatter, CR LF ends.
Text chatterList(const ChatServer& server);
