// The keyboard half of the console's front: the key queue that the back end fills, pollKey, isKeyDown,
// waitForKey, discardKeys and the line input of inputText.
#include "common/console/console.h"
#include "common/console/console_backend.h"
#include "common/console/console_internal.h"
#include "common/console/line_editor.h"
#include "common/console/line_item.h"
#include "common/console/line_view.h"

#include <algorithm>

namespace {

struct Keyboard {
    KeyQueue queue;
    bool inputEnded = false;  // no key can come any more
};

Keyboard keyboard;

// Queues what keys wait; once input has ended, the close request follows the last of them.
void collectKeys() {
    if (backendCollect(&keyboard.queue) || keyboard.inputEnded) return;
    keyboard.inputEnded = true;
    keyQueuePush(keyboard.queue, CloseRequestKey);
}

// The prompt and the line written again from the prompt's first cell on, everything below erased.
void redrawPromptAndLine(LineView& view, const LineEditor& editor, int row, int column) {
    moveCursor(row, column);
    eraseBelowCursor();
    print(view.prompt);
    anchorAtCursor(view);
    view.oneTerminalLine = false;
    redrawLine(view, editor, 0, 0);
}

// After a resize the screen has either reflowed the prompt and the line at the new width, keeping
// the cursor on its cell, or left every row where it was and cut it at the new width; where the cursor
// now stands tells which. A reflowed line is left as it is; a cut one is written again over itself.
// When neither fits (a line that the layer broke into rows), and after a stop, during which anything
// may have been written, the line is written again whole from column 1 of a row of its own (the fresh
// bottom row when the layer could not learn where the cursor stands).
void followMovedLine(LineView& view, const LineEditor& editor, int* checks) {
    screenWidth();  // learns a resize or a resume, if any
    if (*checks == cursorChecks()) return;
    *checks = cursorChecks();
    int width = screenWidth(), row = cursorRow(), column = cursorColumn();
    int oldRow = 0, oldColumn = 0, promptRow = 0, promptColumn = 0;
    cellAt(view, editor.position, view.width, &oldRow, &oldColumn);
    cellAt(view, -textLength(view.prompt), view.width, &promptRow, &promptColumn);
    int index = view.lineStart + editor.position;  // the cursor's cell in its terminal line
    bool resumed = view.resumes != screenResumes();
    view.resumes = screenResumes();
    if (!resumed && view.oneTerminalLine && column == index % width + 1) {
        view.row = row - index / width + view.lineStart / width;
        view.column = view.lineStart % width + 1;
        view.scrolls = scrollCount();
        view.width = width;
        return;
    }
    if (!resumed && column == std::min(oldColumn, width)) {
        // Rows pushed off the top take the prompt's start along: the line then starts at the top.
        int start = row - (oldRow - promptRow);
        redrawPromptAndLine(view, editor, std::max(start, 1), start >= 1 ? std::min(promptColumn, width) : 1);
    } else {
        if (column > 1) print("\r\n");
        anchorAtCursor(view);
        view.column = 1;
        view.oneTerminalLine = false;
        redrawLine(view, editor, 0, 0);
    }
    placeCursor(view, editor.position);
}

// The next key for the line editor, checking every 25 ms; 0 once input has ended.
int nextEditKey(LineView& view, const LineEditor& editor, int* checks) {
    for (;;) {
        followMovedLine(view, editor, checks);
        Text key = pollKey();
        if (!key.empty()) return keyFromText(key);
        if (keyboard.inputEnded) return 0;
        backendWait(25);
    }
}

// Applies one key to the line and draws what changed. False when the key finished the line.
bool editAndDraw(LineView& view, LineEditor& editor, int key) {
    int oldLength = textLength(editor.line);
    int from = 0;
    EditOutcome outcome = editLine(editor, key, screenWidth(), &from);
    if (outcome == EditOutcome::Finished) return false;
    if (outcome == EditOutcome::Beep) beep();
    if (outcome == EditOutcome::Changed) {
        // Drawn across a row's end, the line is rows of the layer's own, which no terminal joins.
        int fromRow = 0, endRow = 0, column = 0;
        int end = std::max(std::max(textLength(editor.line), oldLength) - 1, from);
        cellAt(view, from, screenWidth(), &fromRow, &column);
        cellAt(view, end, screenWidth(), &endRow, &column);
        if (endRow != fromRow) view.oneTerminalLine = false;
        redrawLine(view, editor, from, oldLength);
    }
    if (outcome != EditOutcome::Ignored) placeCursor(view, editor.position);
    return true;
}

}  // namespace

KeyQueue& consoleKeys() {
    return keyboard.queue;
}

Text pollKey() {
    collectKeys();
    int key = 0;
    bool taken = keyQueuePop(keyboard.queue, &key);
    backendKeyTaken(key);
    return taken ? keyText(key) : Text();
}

bool isKeyDown(int scanCode) {
    collectKeys();
    return backendKeyDown(scanCode);
}

void discardKeys() {
    collectKeys();
    keyQueueClear(keyboard.queue);
    backendKeyTaken(-1);
}

void waitForKey() {
    for (;;) {
        collectKeys();
        if (keyQueueTakePressed(keyboard.queue)) return;
        // Once input has ended no key can ever come; waiting on would never return.
        if (keyboard.inputEnded) return;
        backendWait(50);
    }
}

Text inputText(const Text& prompt) {
    carryOutPendingBreak();
    LineView view;
    view.prompt = prompt + "? ";
    int promptRow = cursorRow();
    long long scrolls = scrollCount();
    print(view.prompt);
    carryOutPendingBreak();  // a prompt that filled the bottom-right cell: the line starts below
    bool wasVisible = backendShowCursor(true);
    anchorAtCursor(view);
    view.oneTerminalLine = view.row == promptRow && view.scrolls == scrolls;
    view.lineStart = view.column - 1;
    view.resumes = screenResumes();
    LineEditor editor;
    int checks = cursorChecks();
    for (;;) {
        int key = nextEditKey(view, editor, &checks);
        if (key == 0) break;  // input ended: the line stands as typed
        if (!editAndDraw(view, editor, key)) break;
    }
    placeCursor(view, textLength(editor.line));
    printLine(Text());
    if (!wasVisible) backendShowCursor(false);
    return firstLineItem(editor.line);
}
