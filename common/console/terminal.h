// The only code that touches the terminal device: termios, the modes the layer switches on, signals,
// and the raw reads and writes. Everything it switches on is undone on every way out of the process.
#pragma once

#include <cstddef>

struct TerminalInfo {
    bool outputIsTerminal = false;
    bool inputIsTerminal = false;
    bool utf8 = false;            // the terminal takes UTF-8, so code page 437 glyphs can be drawn
    int width = 80;               // 80 by 25 when the size cannot be read
    int height = 25;
    bool cursorKnown = false;     // the terminal said in time where its cursor stood at start:
    int cursorRow = 1;            // there, 1-based
    int cursorColumn = 1;
    bool kittyKeyboard = false;   // key releases are reported, so Esc held down is exact
    bool cursorHidden = false;    // the terminal said its cursor was hidden at start
};

// Starts the terminal on the first call (raw mode, modes, signal handlers, the cursor query);
// every call returns the same record.
const TerminalInfo& terminalStart();

// Writes every byte to the output at once, after the waiting output run; on a write error the rest is
// dropped.
void terminalWrite(const char* bytes, std::size_t count);

// The largest run of output bytes that goes out with one write.
constexpr std::size_t TerminalRunSize = 1024;

// Adds bytes to the waiting output run. When they would make it pass TerminalRunSize bytes the run is
// written first, so a piece of at most that size is never split across two writes; a larger one goes
// out in runs of TerminalRunSize bytes.
void terminalQueue(const char* bytes, std::size_t count);

// Writes the waiting output run, if any. terminalRestore and the ending signals write it too.
void terminalFlush();

// True once after the window's size changed, with the new size.
bool terminalResized(int* width, int* height);

// Reads what input is waiting without blocking, at most capacity bytes. Returns the count, 0 when
// nothing waits, and -1 when input has ended or the terminal hung up.
long terminalRead(char* buffer, std::size_t capacity);

// Waits at most milliseconds for input to arrive (or for a signal). True when input waits.
bool terminalWaitForInput(int milliseconds);

// How long the terminal may take to answer a query before the layer goes on without the answer.
constexpr int TerminalReplyTimeoutMs = 300;

// Asks where the cursor stands when keys do not come from the terminal, through /dev/tty; waits at
// most TerminalReplyTimeoutMs. False when no answer came.
bool terminalAskCursorAside(int* row, int* column);

// How many times the program went on after a stop, with raw mode and the modes entered again.
int terminalResumes();

// The sequence that shows or hides the cursor.
inline const char* cursorVisibility(bool visible) { return visible ? "\x1b[?25h" : "\x1b[?25l"; }

// Writes the waiting output run, then undoes every mode and the raw mode. Safe to call from a signal
// handler, and more than once.
void terminalRestore();
