// The console's back end: only what a text terminal and the Win32 console truly differ in. The front
// (console_output.cpp, console_input.cpp) writes every operation of console.h once and calls these. The
// build links one back end (terminal/ or win32/), which works only on the model and queue it is handed.
#pragma once

#include "common/console/key_queue.h"
#include "common/console/screen_model.h"

// What backendFollow found, as bits.
constexpr int ScreenResized = 1;  // the window's size changed
constexpr int ScreenResumed = 2;  // the program went on after a stop: others may have written meanwhile

// Starts the screen: the model takes the screen's size and the cursor's place. False when the output is
// no screen (a file, a pipe): the model stays 80 by 25 and records no changes.
bool backendStart(ScreenModel* model);
// Undoes everything the layer changed on the device; at every way out, and more than once.
void backendRestore();
// True when the console goes away with the program (a window of its own); a terminal outlives it.
bool backendEndsWithProgram();
// Learns a resize or a resume since the last call: the model takes the new size and the cursor's place.
// Keys read meanwhile are queued. 0 when nothing changed, else ScreenResized and ScreenResumed bits.
int backendFollow(ScreenModel* model, KeyQueue* keys);
// Puts the model's changes on the screen and clears them; output that is no screen gets bytes as they are.
void backendOutput(ScreenModel* model, const Text& bytes);
// Sends the output that waits, then sleeps that long (0: only sends).
void backendSleep(int milliseconds);
// Queues the keys that wait, without waiting. False once input has ended: no key can come any more.
bool backendCollect(KeyQueue* keys);
// Waits at most that long for input; true when input waits.
bool backendWait(int milliseconds);
// True while the key with that PC scan code (1 to 127) is held and the console has the focus.
bool backendKeyDown(int scanCode);
// pollKey took this key (0: none), or discardKeys dropped every key (-1).
void backendKeyTaken(int key);
// Shows or hides the cursor; returns whether it was visible.
bool backendShowCursor(bool visible);
