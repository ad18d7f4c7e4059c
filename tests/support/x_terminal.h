// The terminals people use, for tests: an X server of its own (Xvfb, on a display it picks itself) with
// one terminal window (kitty, xfce4-terminal with its VTE widget, or xterm) running a command, keys
// typed as X events (xdotool), and the terminal's text read back by the terminal's own means.
// Every process is started here and ended by its id; every wait has a deadline.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

enum class XTerminalKind { Kitty, Vte, Xterm };

struct XTerminal {
    XTerminalKind kind = XTerminalKind::Xterm;
    std::string directory;  // private: configuration, the remote control socket, files read back
    std::string display;    // ":N"
    pid_t server = -1;      // Xvfb
    pid_t terminal = -1;
    std::string window;     // the terminal's X window id

    XTerminal() = default;
    XTerminal(const XTerminal&) = delete;
    XTerminal& operator=(const XTerminal&) = delete;
    ~XTerminal();
};

// The terminal's program name ("kitty", "xfce4-terminal", "xterm").
const char* xTerminalProgram(XTerminalKind kind);
// The terminal, Xvfb, xdotool and xclip are installed.
bool xTerminalInstalled(XTerminalKind kind);

// Starts Xvfb and the terminal, columns by rows, running the command through sh; true once the
// terminal's window has the keyboard focus.
bool startXTerminal(XTerminal& t, XTerminalKind kind, int columns, int rows, const std::string& command);
void stopXTerminal(XTerminal& t);

// Runs a shell command with the terminal's display; returns what it printed.
std::string xRun(const XTerminal& t, const std::string& command);
// xdotool key names ("Return BackSpace ctrl+c"), typed text, and a key held down for a while.
void xKeys(const XTerminal& t, const std::string& names);
void xType(const XTerminal& t, const std::string& text);
void xHoldKey(const XTerminal& t, const std::string& name, int milliseconds);
// A new size in cells, as a user dragging the window's edge would give it.
void xResize(const XTerminal& t, int columns, int rows);

// The terminal's text, a line per row: kitty's scrollback and screen, VTE's screen, xterm's saved lines
// and screen.
std::string xScreenText(const XTerminal& t);
bool waitForXText(const XTerminal& t, const std::function<bool(const std::string&)>& ready, int maxMs = 15000);

// kitty only: text handed to the program as if typed, through kitty's remote control (no key events).
void kittySendText(const XTerminal& t, const std::string& text);
