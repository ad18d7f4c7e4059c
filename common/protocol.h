// The chat's wire protocol: every message is one text that starts with a four-character tag field
// (three capital letters and a blank), sent with its terminating NUL as one reliable ENet packet on
// channel 0 and flushed at once. Building the texts is left to the server and the client.
#pragma once

#include <enet/enet.h>

#include "common/text.h"

constexpr enet_uint16 ChatPort = 42069;
constexpr size_t ChatChannelCount = 10;
constexpr enet_uint8 ChatChannel = 0;

// Tag fields, client to server.
inline const Text SayTag = "SAY ";
inline const Text RenameTag = "REN ";
inline const Text WhoTag = "WHO ";
// Tag fields, server to client ("SAY " travels both ways).
inline const Text WhisperTag = "WSP ";
inline const Text NewTag = "NEW ";
inline const Text NameTag = "NME ";
inline const Text OldTag = "OLD ";

inline const Text LobbyName = "Lobby";
inline const Text WelcomeText = "WSP Lobby Welcome to the lobby!";

// The first four characters of a message (fewer when it is shorter).
Text tagField(const Text& message);
// The message from its fifth character on; empty when it has four characters or fewer.
Text messageBody(const Text& message);

// The text a packet carries: up to its first NUL, or to its end when it holds none.
Text packetText(const ENetPacket* packet);

// A reliable packet holding the text and its terminating NUL; none when ENet has no memory.
ENetPacket* createTextPacket(const Text& text);

// Hands the packet to ENet on the chat channel. ENet refuses a peer that is not connected; the packet
// is then still ours, so it is destroyed here. Either way the caller must not touch it afterwards.
void sendPacket(ENetPeer* peer, ENetPacket* packet);
