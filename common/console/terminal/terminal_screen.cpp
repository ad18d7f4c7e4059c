// The terminal back end's screen: its start, following a resize or a resume, and the model's changes
// handed to the writer's output run, which goes out when full and before the program pauses, reads keys
// or ends. Output that is not a terminal gets the texts byte for byte, with no escape sequence.
#include "common/console/terminal/terminal.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {

// No terminal is larger than this many rows or columns; a cursor report beyond it is no answer.
constexpr int LargestScreenSide = 1000;

// Where the layer cannot know the cursor's place, it goes on from column 1 of a new blank row at the
// bottom: the bottom row is reached by an absolute move, and a line feed there scrolls, so no row still
// on screen is written over.
void startFreshRow(ScreenModel* model) {
    moveScreenCursor(model, model->height, 1);
    writeScreenText(model, "\n");
    terminalDraw(model);
}

// The terminal is at least as large as the place of its cursor, though its size may not have reached
// the program yet. A pending line break stays pending across a resize (its row is full whatever the
// width), and after a stop only while the cursor is where it was.
void placeCursor(ScreenModel* model, int row, int column, bool resized) {
    if (row > model->height || column > model->width) {
        resizeScreenModel(model, std::max(model->width, column), std::max(model->height, row));
    }
    bool keepBreak = model->pendingBreak && (resized || (row == model->row && column == model->column));
    moveScreenCursor(model, row, column);
    model->pendingBreak = keepBreak;
    model->changes.clear();  // the terminal's cursor is there already: the writer learns it
    terminal.writer.cursorKnown = true;
    terminal.writer.row = row;
    terminal.writer.column = column;
}

}  // namespace

// The terminal's size and the cursor position it reported. Output begins where the cursor stood, on the
// next row when the shell left it in the last column with its line break pending, and on a fresh row
// when the terminal did not say in time.
bool backendStart(ScreenModel* model) {
    const TerminalInfo& info = terminalStart();
    terminal.resumesSeen = terminal.resumes;
    terminal.cursorVisible = !info.cursorHidden;
    if (!info.outputIsTerminal) {
        model->recordChanges = false;  // nothing draws them into a file or a pipe
        return false;
    }
    initScreenModel(model, info.width, info.height, info.cursorRow, info.cursorColumn);
    model->paintedColumns = PaintedColumns;
    model->pendingBreak = info.cursorKnown && info.cursorColumn >= info.width;
    if (!info.cursorKnown) startFreshRow(model);
    return true;
}

bool backendEndsWithProgram() {
    return false;
}

// After a resize the terminal may have pulled rows back from its scrollback, reflowed them or pushed
// them off, and moved its cursor along; after a stop other programs wrote to it. Before the next write
// the layer asks where the cursor stands and sets the colours again. The answer is taken as where the
// terminal's cursor is, not sent back as a position: a second resize may already have moved the rows
// again (tmux, for one, tells the program of a resize late), and moves relative to the cursor stay right.
int backendFollow(ScreenModel* model, KeyQueue* keys) {
    bool resized = terminalResized();
    bool resumed = terminal.resumesSeen != terminal.resumes;
    if (!resized && !resumed) return 0;
    terminal.resumesSeen = terminal.resumes;
    if (resized) resizeScreenModel(model, terminal.info.width, terminal.info.height);
    forgetTerminalState(&terminal.writer);
    int row = 0, column = 0;
    if (!terminalAskCursor(&row, &column, keys) || row < 1 || column < 1 || row > LargestScreenSide ||
        column > LargestScreenSide) {
        startFreshRow(model);
    } else {
        placeCursor(model, row, column, resized);
    }
    return (resized ? ScreenResized : 0) | (resumed ? ScreenResumed : 0);
}

void backendOutput(ScreenModel* model, const Text& bytes) {
    if (!bytes.empty()) terminalQueue(bytes.data(), bytes.size());
    terminalDraw(model);
}

void backendSleep(int milliseconds) {
    terminalFlush();
    if (milliseconds <= 0) return;
    timespec wanted{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    timespec left{};
    while (nanosleep(&wanted, &left) != 0 && errno == EINTR) wanted = left;
}

bool backendShowCursor(bool visible) {
    bool was = terminal.cursorVisible;
    terminal.cursorVisible = visible;
    if (terminalStart().outputIsTerminal) writeCursorVisibility(visible);
    return was;
}
