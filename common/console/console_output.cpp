// The output half of the console: the public output operations over the screen model and its writer.
// When the output is not a terminal (a file or a pipe), texts are written byte for byte with no escape
// sequence and no glyph mapping, and the model is still kept at 80 by 25 so that cursorRow and
// screenDump answer as they would on a terminal of that size.
// The bytes of consecutive operations gather in the terminal's output run, which goes out in writes of
// at most 1024 bytes: when full, and before the program pauses, reads keys or ends.
#include "common/console/console.h"
#include "common/console/console_internal.h"
#include "common/console/screen_model.h"
#include "common/console/screen_writer.h"
#include "common/console/terminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

// No terminal is larger than this many rows or columns; a cursor report beyond it is no answer.
constexpr int LargestScreenSide = 1000;

struct ConsoleScreen {
    bool started = false;
    bool starting = false;
    bool terminal = false;  // the output is a terminal: draw through the writer
    int resumes = 0;        // the terminal's count of resumes after a stop, as last seen
    int checks = 0;         // times the cursor's place was learned anew
    ScreenModel model;
    ScreenWriter writer;
    std::vector<std::string> chunks;  // the writer's output for the changes being handed on
};

ConsoleScreen screen;

// Hands what the model changed on to the waiting output run. The writer's chunks keep its sequences
// and glyphs whole, and the run is written before a chunk would make it pass its size, so no write
// splits one. The run goes out before the program waits, reads keys or ends.
void flushChanges(ConsoleScreen& console) {
    if (console.terminal && !console.model.changes.empty()) {
        console.chunks.clear();
        const ScreenModel& model = console.model;
        renderDrawOps(&console.writer, model.changes, model.width, model.height, &console.chunks);
        for (const std::string& chunk : console.chunks) terminalQueue(chunk.data(), chunk.size());
    }
    console.model.changes.clear();
}

// Where the layer cannot know the cursor's place, it goes on from column 1 of a new blank row at the
// bottom: the bottom row is reached by an absolute move, and a line feed there scrolls, so no row still
// on screen is written over.
void startFreshRow(ConsoleScreen& console) {
    moveScreenCursor(&console.model, console.model.height, 1);
    writeScreenText(&console.model, "\n");
    flushChanges(console);
}

// The first operation that touches the console starts it: the terminal's size and the cursor position
// it reported. The screen is never cleared; output begins where the cursor stood, on the next row when
// the shell left it in the last column with its line break pending, and on a fresh row when the
// terminal did not say in time.
ConsoleScreen& consoleScreen() {
    if (screen.started || screen.starting) return screen;
    screen.starting = true;
    initScreenModel(&screen.model, 80, 25, 1, 1);  // in case the start asks for the screen meanwhile
    const TerminalInfo& info = terminalStart();
    screen.terminal = info.outputIsTerminal;
    screen.resumes = terminalResumes();
    if (screen.terminal) {
        initScreenModel(&screen.model, info.width, info.height, info.cursorRow, info.cursorColumn);
        screen.writer.utf8 = info.utf8;
        screen.model.pendingBreak = info.cursorKnown && info.cursorColumn >= info.width;
    }
    screen.model.recordChanges = screen.terminal;  // nothing draws them into a file or a pipe
    screen.model.paintedColumns = PaintedColumns;
    if (screen.terminal && !info.cursorKnown) startFreshRow(screen);
    screen.starting = false;
    screen.started = true;
    return screen;
}

// After a resize the terminal may have pulled rows back from its scrollback, reflowed them or pushed
// them off, and moved its cursor along; after a stop other programs wrote to it. Before the next write
// the layer asks where the cursor stands and sets the colours again. The answer is taken as where the
// terminal's cursor is, not sent back as a position: a second resize may already have moved the rows
// again (tmux, for one, tells the program of a resize late), and moves relative to the cursor stay
// right. A pending line break stays pending across a resize: its row is full whatever the width.
void followTerminal(ConsoleScreen& console) {
    int width = 0, height = 0;
    if (!console.terminal) return;
    bool resized = terminalResized(&width, &height);
    if (!resized && console.resumes == terminalResumes()) return;
    console.resumes = terminalResumes();
    console.checks++;
    ScreenModel& model = console.model;
    if (resized) resizeScreenModel(&model, width, height);
    forgetTerminalState(&console.writer);
    int row = 0, column = 0;
    if (!askCursorPosition(&row, &column) || row < 1 || column < 1 || row > LargestScreenSide ||
        column > LargestScreenSide) {
        startFreshRow(console);
        return;
    }
    // The terminal is at least as large as the place of its cursor, though its size may not have
    // reached the program yet.
    if (row > model.height || column > model.width) {
        resizeScreenModel(&model, std::max(model.width, column), std::max(model.height, row));
    }
    bool keepBreak = model.pendingBreak && (resized || (row == model.row && column == model.column));
    moveScreenCursor(&model, row, column);
    model.pendingBreak = keepBreak;
    model.changes.clear();  // the terminal's cursor is there already
    console.writer.cursorKnown = true;
    console.writer.row = row;
    console.writer.column = column;
}

void writeText(const Text& text) {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    if (!console.terminal) terminalQueue(text.data(), text.size());
    writeScreenText(&console.model, text);
    flushChanges(console);
}

}  // namespace

void print(const Text& text) {
    writeText(text);
}

void printLine(const Text& text) {
    writeText(text);
    writeText("\r\n");
}

void setTextColor(int color) {
    setScreenColor(&consoleScreen().model, color);
}

void moveCursor(int row, int column) {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    moveScreenCursor(&console.model, row, column);
    flushChanges(console);
}

int cursorRow() {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    return console.model.row;
}

// Keys typed meanwhile stay in the terminal's input until the next key operation reads them.
void pause(int milliseconds) {
    terminalFlush();
    if (milliseconds <= 0) return;
    timespec wanted{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    timespec left{};
    while (nanosleep(&wanted, &left) != 0 && errno == EINTR) wanted = left;
}

void endProgram(int status) {
    terminalRestore();
    std::exit(status);
}

bool consoleEndsWithProgram() {
    return false;
}

int cursorColumn() {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    return console.model.column;
}

int screenWidth() {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    return console.model.width;
}

int screenHeight() {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    return console.model.height;
}

long long scrollCount() {
    return consoleScreen().model.scrolls;
}

void carryOutPendingBreak() {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    breakPendingLine(&console.model);
    flushChanges(console);
}

int cursorChecks() {
    return consoleScreen().checks;
}

void beep() {
    ConsoleScreen& console = consoleScreen();
    if (!console.terminal) return;
    ringScreenBell(&console.model);
    flushChanges(console);
}

void eraseBelowCursor() {
    ConsoleScreen& console = consoleScreen();
    followTerminal(console);
    moveScreenCursor(&console.model, 0, 0);  // the terminal's cursor goes there first
    eraseScreenBelow(&console.model);
    flushChanges(console);
}

void flushConsole() {
    terminalFlush();
}

Text screenDump() {
    return dumpScreenModel(consoleScreen().model);
}
