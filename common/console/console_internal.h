// What the output half and the keyboard half of the console share beyond the programs' operations.
#pragma once

#include "common/console/console.h"

int cursorColumn();
int screenWidth();
int screenHeight();
// Rows the screen has scrolled since start, so the line editor can follow its line up the screen.
long long scrollCount();
// Carries out a deferred line break, as the next write would.
void carryOutPendingBreak();
// Asks the terminal where its cursor stands and waits for the answer at most TerminalReplyTimeoutMs,
// collecting keys meanwhile. False when none came in time (a late one is swallowed, not believed).
bool askCursorPosition(int* row, int* column);
// How many times the layer has learned the cursor's place anew, after a resize or a resume.
int cursorChecks();
// Blanks the screen from the cursor to its end; the cursor stays.
void eraseBelowCursor();
// The terminal's bell.
void beep();
// The screen as the layer believes it stands, one line per row, with each cell's colours; for tests.
// The model is kept whether or not the output is a terminal.
#include "common/text.h"
Text screenDump();
