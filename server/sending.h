// Sending chat messages from the server: to one chatter or to every connected peer.
// Each send writes its three-line trace to the console before the packet goes to ENet, then flushes.
// Every listener gets a packet of its own over one shared copy of the bytes, so the server knows what
// each chatter still has to receive (its backlog) and how far each speaker is ahead of its listeners.
#pragma once

#include "server/chat_server.h"

// Sends the text to the chatter in the slot, on the chat channel.
void sendToChatter(ChatServer& server, int slot, const Text& text);
// Sends the text to every peer that ENet counts as connected, on the given channel.
void broadcastText(ChatServer& server, enet_uint8 channel, const Text& text);
