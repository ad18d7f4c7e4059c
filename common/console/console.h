// ConsoleScreen: the text screen and keyboard that both programs share with their user.
// Output goes to a screen of cells with a cursor, sixteen colours and scrolling; keys come from a queue
// of presses read without waiting. The layer starts on first use and never clears the screen.
#pragma once

#include "common/text.h"

constexpr int KeyQueueSize = 512;
constexpr unsigned char ExtendedKeyPrefix = 255;
// A key code of 256 and above holds a PC BIOS extended code in its high byte and 255 in its low byte.
constexpr int extendedKey(int code) { return (code << 8) | 255; }
// Queued when the terminal goes away (hang-up) or input ends.
constexpr int CloseRequestKey = extendedKey(107);
constexpr int EscScanCode = 1;

// Output.
void print(const Text& text);
void printLine(const Text& text);
void setTextColor(int color);
// Row or column 0 keeps the current one; a position off the screen leaves the cursor where it is.
void moveCursor(int row, int column);
int cursorRow();
void pause(int milliseconds);
// Writes the output that waits to go out, as one run when it fits one; the layer does so itself before
// it waits, reads keys or ends the process. For output that must be out before something else happens.
void flushConsole();
// Restores the terminal and ends the process; the screen keeps what it shows.
[[noreturn]] void endProgram(int status);
// True when the console belongs to this program alone and goes away when it ends, as the window that
// Windows opens for a program started from Explorer does. A terminal outlives the program: false.
bool consoleEndsWithProgram();

// Keyboard.
// The oldest waiting key as its key text, or the empty text. Never waits.
Text pollKey();
// True while the key with that PC scan code is held and the terminal has the focus.
bool isKeyDown(int scanCode);
// Prints the prompt and "? ", edits one line and returns its first item.
Text inputText(const Text& prompt);
// Blocks until a key is pressed after the last key that pollKey took; the key stays queued.
void waitForKey();
// Drops every waiting key, a lone Esc still waiting to be told from a sequence, and every press that
// isKeyDown would still report: what comes next is new.
void discardKeys();
