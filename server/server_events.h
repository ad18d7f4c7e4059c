// The server's handling of ENet events: admitting, relaying, renaming, listing and announcing leavers.
// Each handling is a procedure on the ChatServer record, so it can be driven by events from any host.
#pragma once

#include "server/chat_server.h"

// Handles one event that ENet handed out and destroys its packet, if any.
void handleServerEvent(ChatServer& server, ENetEvent& event);

// Ends a chatter's connection from the server's side: its peer is told and reset, and the chatter is
// announced and released as if ENet had reported it gone.
void endChatter(ChatServer& server, int slot);
