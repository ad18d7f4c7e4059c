// What the terminal layer's files share: the record of the terminal, the saved and raw settings, the
// prebuilt mode strings and the flags that signal handlers set. Nothing outside the layer includes it.
#pragma once

#include "common/console/terminal.h"

#include <csignal>
#include <cstddef>
#include <string>
#include <termios.h>

constexpr int StdIn = 0;
constexpr int StdOut = 1;
// The modes of a terminal that keys come from. metaSendsEscape makes xterm send Alt+key as ESC key
// (XTSAVE/XTRESTORE keep the user's choice); focus reports; and the application keypad, in which the
// keypad's Enter sends ESC O M where terminals otherwise send a line feed, as for Ctrl+Enter.
constexpr const char* KeyModes = "\x1b[?1036s\x1b[?1036h\x1b[?1004h\x1b=";
// The kitty keyboard flags pushed: disambiguated keys (1), press, repeat and release (2), every key as
// an escape code (8) with the text it types (16). Without 8, kitty sends the releases of Enter, Tab and
// Backspace with Num Lock off as the same byte as their press, so each would count twice.
constexpr const char* KittyFlagsPush = "\x1b[>27u";

extern TerminalInfo info;
extern int modeFd;                  // the terminal whose termios is changed
extern struct termios savedTermios;
extern struct termios rawTermios;
extern std::string startupInput;    // keys typed while the start-up replies were awaited

// Prebuilt so that signal handlers only write and call tcsetattr.
extern char enterModes[96];
extern std::size_t enterModesLength;
extern char restoreModes[96];
extern std::size_t restoreModesLength;

extern volatile sig_atomic_t rawActive;      // raw mode and the modes are on and need undoing
extern volatile sig_atomic_t suspended;      // restored for a stop; re-entered on continue
extern volatile sig_atomic_t resizedFlag;
extern volatile sig_atomic_t hungUp;
extern volatile sig_atomic_t resumes;        // times raw mode and the modes were entered again after a stop

long long monotonicMs();
void appendTo(char* buffer, std::size_t* length, std::size_t capacity, const char* text);
// Writes all of it; used from signal handlers too, so only write() and errno.
void writeAll(int fd, const char* bytes, std::size_t count);
// Writes the waiting output run. Async-signal-safe: only write() and errno. A write error drops the run.
void writePendingOutput();

// terminal_modes.cpp: raw mode, the modes and the signals.
void installSignalHandlers();
void enterRawMode();
// Undoes every mode and the raw mode. Async-signal-safe.
void undoModes();
void buildModeStrings(bool kitty);

// terminal_queries.cpp: the queries of the first use and their replies.
void startModes();
