// The client's main loop: the input line on the bottom row, Backspace, sending with Enter or once
// the line grows past 70 characters, the commands /name and /who, and quitting with Esc held down.
#pragma once

#include <enet/enet.h>

#include "common/text.h"

// The message that a typed line becomes: a chat line, a rename or list request, or a line beginning
// with "/" that is no command, sent as typed.
Text makeMessage(const Text& line);

// Blanks the input row, sends the line's message to the server and empties the line, whether or not
// the connection is up.
void sendInputLine(ENetHost* host, ENetPeer* peer, Text* line);

// Draws "> ", the line and the cursor mark on row 25 in green and puts the cursor back to column 1
// of the row where it stood.
void drawInputLine(const Text& line, const Text& mark);

// Runs until Esc is held down: reads keys, edits and sends the input line, shows what arrives.
void chatLoop(ENetHost* host, ENetPeer* peer);
