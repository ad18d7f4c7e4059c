// The chatter roster: slots, default names, renaming and release, and the server clock.
// A chatter's slot is kept in its ENet peer's data word from admission until release.
#pragma once

#include "server/chat_server.h"

// Seconds from an arbitrary origin, from the monotonic clock.
double serverClock();

// The slot for a newcomer: the admission count while it is below 25, then the lowest free slot.
int takeSlot(ChatServer& server);
// Gives the slot to the peer under the default name "Anonymous" and the slot number.
void admitChatter(ChatServer& server, int slot, ENetPeer* peer);
// Sets the requested name and returns the old one. A name holding a blank, or longer than NameLimit,
// becomes "Lamer" and the clock's whole seconds.
Text renameChatter(ChatServer& server, int slot, const Text& requested);
// Frees the slot after its leaver's notice has gone out; resets the peer and clears its data word.
void releaseChatter(ChatServer& server, int slot, ENetPeer* peer);

// The slot whose active record this peer holds, or -1. The data word alone is not enough: an empty
// word reads as slot 0, and a stale one may name a record that another peer holds now.
int chatterSlotOf(const ChatServer& server, const ENetPeer* peer);
