// A real terminal for tests: one private tmux server with one session, a command running in its pane,
// keys typed into it, and the pane read back as text or as cells with their colours.
// Every wait polls the pane until a deadline; what a test expects of the pane stays in the test.
#pragma once

#include <functional>
#include <string>
#include <vector>

// One private tmux server (its own -L socket, no configuration file, escape-time 0) holding the session
// "T". The fields before the start are its options; the server is killed when the record goes.
struct TmuxPane {
    int width = 80;
    int height = 25;
    std::string locale;        // LC_ALL for tmux and everything in the pane; empty keeps the caller's
    bool clipboard = false;    // set-clipboard on, so OSC 52 from the pane would fill a tmux buffer
    bool focusEvents = false;  // focus-events on: a pane that asks gets focus reports, "out" while detached
    std::string pipeTo;        // a file that gets every byte the program writes (pipe-pane -o), if set
    std::string socket;        // the -L name, unique to this process, given by startTmuxPane

    TmuxPane() = default;
    TmuxPane(const TmuxPane&) = delete;
    TmuxPane& operator=(const TmuxPane&) = delete;
    ~TmuxPane();
};

// A cell as the pane shows it: its glyph (UTF-8), its colours as terminal colour indices (-1 for the
// terminal's own) and whether it is bold.
struct PaneCell {
    std::string glyph;
    int foreground = -1;
    int background = -1;
    bool bold = false;
};
using PaneRow = std::vector<PaneCell>;
using PaneScreen = std::vector<PaneRow>;

// The tmux format that lists the pane's modes: cursor, keypad, insert, origin, wrap, mouse, the
// alternate screen and the scroll region.
extern const char* const PaneModesFormat;

// Starts a new tmux server whose one pane runs the command (through the shell); true when it started.
bool startTmuxPane(TmuxPane& pane, const std::string& prefix, const std::string& command);
// Kills the pane's server; a pane already gone is fine.
void stopTmuxPane(TmuxPane& pane);
// Gives the pane's window a new size, as a user dragging its edge would; the program gets SIGWINCH.
void resizeTmuxPane(TmuxPane& pane, int width, int height);

// Runs a tmux command against the pane's server; returns what it printed (errors included).
std::string tmuxOutput(const TmuxPane& pane, const std::string& arguments);
// The same, returning the command's exit status instead.
int tmuxStatus(const TmuxPane& pane, const std::string& arguments);

// Key names as tmux knows them ("Enter", "C-c", "F1 M-q"), literal text, and raw bytes in hex ("1b 5b 4f").
void sendKeys(const TmuxPane& pane, const std::string& names);
void typeText(const TmuxPane& pane, const std::string& text);
void sendHex(const TmuxPane& pane, const std::string& bytes);

// The pane's rows as text, one line each; keepBlanks keeps the spaces at the rows' ends (-N).
std::string capturePaneText(const TmuxPane& pane, bool keepBlanks = false);
// The pane's scrollback and rows as text, rows that tmux wrapped joined again.
std::string capturePaneHistory(const TmuxPane& pane);
// The pane's rows as cells with colours, from `capture-pane -p -e -N`.
PaneScreen capturePaneCells(const TmuxPane& pane);
// What a tmux format says about the pane, e.g. PaneModesFormat or "#{pane_title}".
std::string paneFormat(const TmuxPane& pane, const std::string& format);

// Polls the pane's text until ready says so or the deadline passes.
bool waitForPane(const TmuxPane& pane, const std::function<bool(const std::string&)>& ready, int maxMs = 10000,
                 bool keepBlanks = false);
bool waitForPaneText(const TmuxPane& pane, const std::string& text, int maxMs = 10000, bool keepBlanks = false);
// Polls the pane's cells until ready says so or the deadline passes.
bool waitForPaneCells(const TmuxPane& pane, const std::function<bool(const PaneScreen&)>& ready, int maxMs = 10000);

// Splits captured text with SGR sequences into cells; the pen carries colours from one call to the next.
PaneRow parseCapturedLine(const std::string& line, PaneCell* pen);
// Splits a whole `capture-pane -p -e` output into rows, leaving out empty rows at its end.
PaneScreen parseCapture(const std::string& captured);
// The glyphs of a row, joined.
std::string rowText(const PaneRow& row);

// Single quotes for a shell, so the text reaches the command as one argument, unchanged.
std::string shellQuote(const std::string& text);
// Asks ready() every pauseMs until it holds or maxMs have passed; then once more.
bool pollUntil(const std::function<bool()>& ready, int maxMs, int pauseMs);
