// What the two halves of the console's front share beyond the programs' operations, and what the line
// view and the tests ask of it.
#pragma once

#include "common/console/console.h"
#include "common/console/key_queue.h"

int cursorColumn();
int screenWidth();
int screenHeight();
// Rows the screen has scrolled since start, so the line editor can follow its line up the screen.
long long scrollCount();
// Carries out a deferred line break, as the next write would.
void carryOutPendingBreak();
// How many times the layer has learned the screen anew, after a resize or a resume.
int cursorChecks();
// How many times the program went on after a stop, as the layer has learned it.
int screenResumes();
// Blanks the screen from the cursor to its end; the cursor stays.
void eraseBelowCursor();
// The bell: 1000 Hz for 250 ms on the Win32 console, the terminal's own bell on a terminal.
void beep();
// The queue of keys that pollKey takes from.
KeyQueue& consoleKeys();
// The screen as the layer believes it stands, one line per row, with each cell's colours; for tests.
// The model is kept whether or not the output is a screen.
Text screenDump();
