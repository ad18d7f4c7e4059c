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

struct ConsoleScreen {
    bool started = false;
    bool starting = false;
    bool terminal = false;  // the output is a terminal: draw through the writer
    ScreenModel model;
    ScreenWriter writer;
    std::vector<std::string> chunks;  // the writer's output for the changes being handed on
};

ConsoleScreen screen;

// The first operation that touches the console starts it: the terminal's size and the cursor position
// it reported. The screen is never cleared; output begins where the cursor stood.
ConsoleScreen& consoleScreen() {
    if (screen.started || screen.starting) return screen;
    screen.starting = true;
    initScreenModel(&screen.model, 80, 25, 1, 1);  // in case the start asks for the screen meanwhile
    const TerminalInfo& info = terminalStart();
    screen.terminal = info.outputIsTerminal;
    if (screen.terminal) {
        initScreenModel(&screen.model, info.width, info.height, info.cursorRow, info.cursorColumn);
        screen.writer.utf8 = info.utf8;
    }
    screen.model.recordChanges = screen.terminal;  // nothing draws them into a file or a pipe
    screen.starting = false;
    screen.started = true;
    return screen;
}

// A resized window counts from the next operation on; the terminal may have moved its cursor and
// reflowed its rows, so the writer sets both position and colours again.
void followResize(ConsoleScreen& console) {
    int width = 0, height = 0;
    if (!console.terminal || !terminalResized(&width, &height)) return;
    resizeScreenModel(&console.model, width, height);
    forgetTerminalState(&console.writer);
}

// Hands what the model changed on to the waiting output run. The writer's chunks keep its sequences
// and glyphs whole, and the run is written before a chunk would make it pass its size, so no write
// splits one. The run goes out before the program waits, reads keys or ends.
void flushChanges(ConsoleScreen& console) {
    if (console.terminal && !console.model.changes.empty()) {
        console.chunks.clear();
        renderDrawOps(&console.writer, console.model.changes, console.model.height, &console.chunks);
        for (const std::string& chunk : console.chunks) terminalQueue(chunk.data(), chunk.size());
    }
    console.model.changes.clear();
}

void writeText(const Text& text) {
    ConsoleScreen& console = consoleScreen();
    followResize(console);
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
    followResize(console);
    moveScreenCursor(&console.model, row, column);
    flushChanges(console);
}

int cursorRow() {
    ConsoleScreen& console = consoleScreen();
    followResize(console);
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

int cursorColumn() {
    ConsoleScreen& console = consoleScreen();
    followResize(console);
    return console.model.column;
}

int screenWidth() {
    ConsoleScreen& console = consoleScreen();
    followResize(console);
    return console.model.width;
}

int screenHeight() {
    ConsoleScreen& console = consoleScreen();
    followResize(console);
    return console.model.height;
}

long long scrollCount() {
    return consoleScreen().model.scrolls;
}

void carryOutPendingBreak() {
    ConsoleScreen& console = consoleScreen();
    followResize(console);
    breakPendingLine(&console.model);
    flushChanges(console);
}

// The terminal said where its cursor is (after a suspend, say): believe it, and set colours again since
// the terminal was reset meanwhile. A pending break survives only if the cursor is still on its cell.
void setCursorFromTerminal(int row, int column) {
    ConsoleScreen& console = consoleScreen();
    if (console.starting) return;
    followResize(console);
    ScreenModel& model = console.model;
    if (row < 1 || row > model.height || column < 1 || column > model.width) return;
    if (row != model.row || column != model.column) model.pendingBreak = false;
    model.row = row;
    model.column = column;
    forgetTerminalState(&console.writer);
}

void beep() {
    ConsoleScreen& console = consoleScreen();
    if (!console.terminal) return;
    ringScreenBell(&console.model);
    flushChanges(console);
}

void flushConsole() {
    terminalFlush();
}

Text screenDump() {
    return dumpScreenModel(consoleScreen().model);
}
