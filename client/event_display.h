// The client's receiving side: every event ENet has waiting for the client's host becomes lines on
// the console, each server message in the colours of its tag. It sends nothing and reads no key.
#pragma once

#include <enet/enet.h>

#include "common/text.h"

// A received message cut into its pieces.
struct MessagePieces {
    Text tag;        // the first four characters (fewer when the text is shorter)
    Text rest;       // from the fifth character on
    Text firstWord;  // the rest up to its first blank; empty when it has none or begins with one
    Text remainder;  // what follows the first blank of the rest; the whole rest when it has none
};

MessagePieces cutMessage(const Text& text);

// Prints one received message as its coloured line; no colour is restored afterwards.
void showMessage(const Text& text);

// Shows one event. One that names a channel other than the chat channel shows nothing; a received
// packet is destroyed either way.
void showEvent(const ENetEvent& event);

// Handles every event waiting for the host, in ENet's order, and returns when none is left.
void serviceNetwork(ENetHost* host);
