// The terminal back end's own header: the one record of the terminal's state, and the calls its files
// share. termios, the modes, the signals, the reads and the writes stay inside common/console/terminal/;
// nothing outside that folder includes this header.
#pragma once

#include "common/console/console_backend.h"
#include "common/console/terminal/key_decoder.h"
#include "common/console/terminal/screen_writer.h"

#include <csignal>
#include <cstddef>
#include <string>
#include <termios.h>
#include <vector>

constexpr int StdIn = 0;
constexpr int StdOut = 1;
// How long the terminal may take to answer a query before the layer goes on without the answer.
constexpr int TerminalReplyTimeoutMs = 300;
// The largest run of output bytes that goes out with one write.
constexpr std::size_t TerminalRunSize = 1024;

// What the start learned of the terminal.
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

constexpr int ScanCodeCount = 128;

// The keyboard: the decoder of the input, which keys are held, and the cursor reports awaited.
struct TerminalKeys {
    bool started = false;
    KeyDecoder decoder;
    bool kitty = false;        // releases are reported, so held keys are known exactly
    bool inputEnded = false;   // end of input or hang-up: no key can come any more
    bool focused = true;       // until the terminal says otherwise
    int resumes = 0;           // the terminal's count of resumes after a stop, as last seen
    bool held[ScanCodeCount] = {};  // pressed and not released (kitty only)
    bool seen[ScanCodeCount] = {};  // pressed since isKeyDown last asked about that key
    int takenScan = 0;              // the key pollKey took last, if isKeyDown has not asked since
    std::size_t droppedBytes = 0;   // decoder bytes from before a discard: their keys are dropped
    int reportsDue = 0;             // cursor position queries not answered yet
    bool reportWanted = false;      // the latest one is awaited
    int reportRow = 0, reportColumn = 0;
    long long lateReportUntilMs = 0;  // answers that came too late are swallowed until then
    long long drainedAtMs = -1;     // when an intake last found the input empty
};

// The terminal's state, every part of it: one record, defined in terminal_device.cpp. The signal
// handlers read and set the sig_atomic_t fields, and write the prebuilt mode strings and the output run.
struct Terminal {
    bool started = false;
    TerminalInfo info;
    int modeFd = -1;              // the terminal whose termios is changed
    struct termios savedTermios;
    struct termios rawTermios;
    std::string startupInput;     // keys typed while the start-up replies were awaited
    char enterModes[96];
    std::size_t enterModesLength = 0;
    char restoreModes[96];
    std::size_t restoreModesLength = 0;
    volatile sig_atomic_t rawActive = 0;   // raw mode and the modes are on and need undoing
    volatile sig_atomic_t suspended = 0;   // restored for a stop; re-entered on continue
    volatile sig_atomic_t resizedFlag = 0;
    volatile sig_atomic_t hungUp = 0;
    volatile sig_atomic_t resumes = 0;     // times raw mode and the modes were entered again after a stop
    // The output run waiting to go out: bytes pendingStart up to pendingEnd. The bytes are stored before
    // the end moves and the start moves after each write, so a signal handler that writes what lies
    // between the two never sends a byte that was not stored.
    char pendingOutput[TerminalRunSize];
    volatile sig_atomic_t pendingStart = 0;
    volatile sig_atomic_t pendingEnd = 0;
    ScreenWriter writer;               // where the terminal's cursor stands and its colours
    std::vector<std::string> chunks;   // the writer's output for the changes being handed on
    bool cursorVisible = true;         // as the layer last set it, or as the terminal had it at start
    int resumesSeen = 0;               // resumes after a stop, as the screen last followed them
    TerminalKeys keys;
};

extern Terminal terminal;

// terminal_device.cpp: the start, the size, the reads, the time.
// Starts the terminal on the first call (raw mode, modes, signal handlers, the queries).
const TerminalInfo& terminalStart();
// True once after the window's size changed; the info then holds the new size.
bool terminalResized();
// Reads what input waits without blocking, at most capacity bytes: the count, 0 when nothing waits,
// -1 when input has ended or the terminal hung up.
long terminalRead(char* buffer, std::size_t capacity);
long long monotonicMs();

// terminal_modes.cpp: raw mode, the modes and the signals.
void installSignalHandlers();
void enterRawMode();

// terminal_keys.cpp: asks where the cursor stands and waits for the answer at most TerminalReplyTimeoutMs,
// queueing keys meanwhile. False when none came in time (a late one is swallowed, not believed).
bool terminalAskCursor(int* row, int* column, KeyQueue* keys);

// terminal_queries.cpp: the queries of the first use and their replies.
void startModes();
// Asks where the cursor stands when keys do not come from the terminal, through /dev/tty; waits at most
// TerminalReplyTimeoutMs. False when no answer came.
bool terminalAskCursorAside(int* row, int* column);

// terminal_writer.cpp: the one place that writes to the terminal and that knows escape sequences.
// Adds bytes to the waiting output run. When they would make it pass TerminalRunSize bytes the run is
// written first, so a piece of at most that size is never split across two writes.
void terminalQueue(const char* bytes, std::size_t count);
// Writes the waiting output run, if any. Async-signal-safe; a write error drops the run.
void terminalFlush();
// Hands what the model changed on to the output run, as the screen writer's chunks, and clears it.
void terminalDraw(ScreenModel* model);
// The modes the layer switches on (the key modes when keys come from the terminal, and the kitty
// flags), and the sequences that undo them with the colours and the cursor's visibility, prebuilt so
// that signal handlers only write them.
void buildModeStrings(bool keyModes, bool kitty);
// Async-signal-safe writes of the prebuilt strings.
void writeEnterModes();
void writeRestoreModes();
// The start-up sequences: the kitty keyboard flags, and the queries (the kitty flags' and the cursor's
// visibility when asked for, then always the cursor's place and the device attributes).
void writeKittyFlags();
void writeQueries(bool kitty, bool cursorMode);
void writeCursorQuery();
// The device attributes query alone. Async-signal-safe.
void writeAttributesQuery();
void writeCursorVisibility(bool visible);
