// The keyboard half of the console: the key intake (terminal bytes through the decoder into the
// key queue), pollKey, isKeyDown, waitForKey and the line input of inputText.
#include "common/console/console.h"
#include "common/console/console_internal.h"
#include "common/console/key_decoder.h"
#include "common/console/key_queue.h"
#include "common/console/line_editor.h"
#include "common/console/line_item.h"
#include "common/console/line_view.h"
#include "common/console/terminal.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <time.h>

namespace {

constexpr int ScanCodeCount = 128;
constexpr std::size_t ReadSize = 1024;
// A cursor report later than this after the layer gave up waiting is taken as keys again (Ctrl+F3 and
// the like share its form).
constexpr long long LateReportMs = 5000;
constexpr int ReadsPerIntake = 16;  // bounds one intake at 16 KiB when input keeps streaming in

struct Keyboard {
    bool started = false;
    KeyDecoder decoder;
    KeyQueue queue;
    bool kitty = false;        // releases are reported, so held keys are known exactly
    bool inputEnded = false;   // end of input or hang-up: no key can come any more
    bool closeQueued = false;
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

Keyboard keyboard;

long long monotonicMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

Keyboard& startKeyboard() {
    if (keyboard.started) return keyboard;
    keyboard.started = true;
    const TerminalInfo& info = terminalStart();
    // Bytes from a pipe are keys as they are; from a UTF-8 terminal they are characters.
    keyboard.decoder.utf8Input = info.inputIsTerminal && info.utf8;
    keyboard.kitty = info.kittyKeyboard;
    // The start-up question about the cursor went unanswered: its answer may still come.
    keyboard.reportsDue = info.outputIsTerminal && info.inputIsTerminal && !info.cursorKnown ? 1 : 0;
    keyboard.decoder.cursorReportOutstanding = keyboard.reportsDue > 0;
    keyboard.lateReportUntilMs = monotonicMs() + LateReportMs;
    return keyboard;
}

void forgetHeldKeys(Keyboard& k) {
    for (int i = 0; i < ScanCodeCount; ++i) k.held[i] = k.seen[i] = false;
}

void takeKey(Keyboard& k, const KeyEvent& event) {
    int scan = event.scanCode > 0 && event.scanCode < ScanCodeCount ? event.scanCode : 0;
    if (event.action == KeyAction::Release) {
        k.held[scan] = false;
        return;
    }
    // A terminal sends key bytes only to the window that has the focus, so a press proves it, whatever
    // focus report came before (one may have been lost while the program was stopped, or sent for a
    // detached tmux session).
    k.focused = true;
    k.seen[scan] = true;
    // Under the kitty protocol every key comes as a sequence that its release follows; a plain byte
    // (text from an input method, or a terminal that ignored a flag) never gets one.
    if (k.kitty && !event.plainBytes) k.held[scan] = true;
    keyQueuePush(k.queue, event.key);
}

void handleEvent(Keyboard& k, const KeyEvent& event) {
    switch (event.kind) {
    case KeyEventKind::Key: takeKey(k, event); break;
    case KeyEventKind::FocusIn: k.focused = true; break;
    case KeyEventKind::FocusOut:
        // A key let go while another window has the focus may never report its release.
        k.focused = false;
        forgetHeldKeys(k);
        break;
    case KeyEventKind::CursorReport:
        // Answers come in the order of the questions. Only the answer to the latest, while it is
        // awaited, is believed: the screen has gone on since a late one was asked for.
        k.reportsDue = k.reportsDue > 0 ? k.reportsDue - 1 : 0;
        k.decoder.cursorReportOutstanding = k.reportsDue > 0;
        if (k.reportWanted && k.reportsDue == 0) {
            k.reportWanted = false;
            k.reportRow = event.row;
            k.reportColumn = event.column;
        }
        break;
    // Under the kitty protocol Ctrl+C and Ctrl+Z arrive as keys; they act as the tty would.
    case KeyEventKind::Interrupt: raise(SIGINT); break;
    case KeyEventKind::Suspend: raise(SIGTSTP); break;
    default: break;
    }
}

// A key typed before the last discard is dropped; Ctrl+C, replies and focus reports still count.
void handleDecoded(Keyboard& k, const KeyEvent& event) {
    if (k.droppedBytes > 0) {
        k.droppedBytes = event.length < k.droppedBytes ? k.droppedBytes - event.length : 0;
        if (event.kind == KeyEventKind::Key) return;
    }
    handleEvent(k, event);
}

void decodeInput(Keyboard& k, long long now) {
    for (;;) {
        KeyEvent event = keyDecoderNext(k.decoder, now);
        if (event.kind == KeyEventKind::None || event.kind == KeyEventKind::NeedMore) return;
        handleDecoded(k, event);
    }
}

// Reads what the terminal holds until the input is drained (a read that found nothing, or fewer bytes
// than it asked for), and decodes each read at once. Keys typed ahead past what the queue holds drop
// the oldest, so a key typed last (Esc behind a paste) is seen at once.
void readInput(Keyboard& k, long long now) {
    char bytes[ReadSize];
    for (int reads = 0; reads < ReadsPerIntake && !k.inputEnded; ++reads) {
        long count = terminalRead(bytes, sizeof bytes);
        if (count < 0) k.inputEnded = true;
        if (count > 0) {
            keyDecoderFeed(k.decoder, bytes, static_cast<std::size_t>(count), now);
            decodeInput(k, now);
        }
        if (count < static_cast<long>(sizeof bytes)) {
            k.drainedAtMs = now;
            break;
        }
    }
}

// Sends the waiting output, reads what input waits, decodes it and queues the keys. A program's
// pass asks twice (isKeyDown, then pollKey): when an intake in this same millisecond already found
// the input drained, the second one does not read again; keys typed meanwhile wait for the next
// pass, and the decoder still runs so the lone Esc's time-out is kept.
void collectKeys() {
    Keyboard& k = startKeyboard();
    terminalFlush();
    if (k.resumes != terminalResumes()) {
        // Focus reports were off while the program was stopped: assume the focus until told otherwise.
        k.resumes = terminalResumes();
        k.focused = true;
    }
    long long now = monotonicMs();
    if (!k.reportWanted && now > k.lateReportUntilMs) {
        k.reportsDue = 0;
        k.decoder.cursorReportOutstanding = false;
    }
    if (now != k.drainedAtMs) readInput(k, now);
    // Once input has ended no byte can complete a sequence, so whatever waits is decoded now.
    if (k.inputEnded) now = LLONG_MAX / 2;
    decodeInput(k, now);
    if (k.inputEnded && !k.closeQueued) {
        k.closeQueued = true;
        keyQueuePush(k.queue, CloseRequestKey);
    }
}

// Waits for input; once some has come, the next intake reads even within the same millisecond.
void waitForInput(int milliseconds) {
    if (terminalWaitForInput(milliseconds)) keyboard.drainedAtMs = -1;
}

// The cursor is shown while a line is edited; afterwards it is as the terminal had it at start.
void showCursor(bool visible) {
    if (terminalStart().outputIsTerminal) terminalWrite(cursorVisibility(visible), 6);
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

// After a resize the terminal has either reflowed the prompt and the line at the new width, keeping
// the cursor on its cell, or left every row where it was and cut it at the new width; where the cursor
// now stands tells which. A reflowed line is left as it is; a cut one is written again over itself.
// When neither fits (a line that the layer broke into rows), and after a stop, during which anything
// may have been written, the line is written again whole from column 1 of a row of its own (the fresh bottom
// row when the layer could not learn where the cursor stands).
void followMovedLine(LineView& view, const LineEditor& editor, int* checks) {
    screenWidth();  // learns a resize or a resume, if any
    if (*checks == cursorChecks()) return;
    *checks = cursorChecks();
    int width = screenWidth(), row = cursorRow(), column = cursorColumn();
    int oldRow = 0, oldColumn = 0, promptRow = 0, promptColumn = 0;
    cellAt(view, editor.position, view.width, &oldRow, &oldColumn);
    cellAt(view, -textLength(view.prompt), view.width, &promptRow, &promptColumn);
    int index = view.lineStart + editor.position;  // the cursor's cell in its terminal line
    bool resumed = view.resumes != terminalResumes();
    view.resumes = terminalResumes();
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
        waitForInput(25);
    }
}

}  // namespace

// A press that pollKey took still counts for the isKeyDown that comes next, as in a loop that asks
// isKeyDown before each pollKey; a second pollKey first (the line editor, a discarding loop) drops it.
Text pollKey() {
    Keyboard& k = startKeyboard();
    collectKeys();
    if (k.takenScan > 0) k.seen[k.takenScan] = false;
    k.takenScan = 0;
    int key = 0;
    if (!keyQueuePop(k.queue, &key)) return Text();
    int scan = scanCodeOfKey(key);
    if (scan > 0 && scan < ScanCodeCount && k.seen[scan]) k.takenScan = scan;
    return keyText(key);
}

bool isKeyDown(int scanCode) {
    Keyboard& k = startKeyboard();
    collectKeys();
    k.takenScan = 0;
    if (scanCode <= 0 || scanCode >= ScanCodeCount) return false;
    // Without releases a press counts as held in the pass that sees it.
    bool down = k.focused && (k.seen[scanCode] || (k.kitty && k.held[scanCode]));
    k.seen[scanCode] = false;
    return down;
}

void discardKeys() {
    Keyboard& k = startKeyboard();
    collectKeys();
    keyQueueClear(k.queue);
    forgetHeldKeys(k);
    k.takenScan = 0;
    // A lone Esc may still wait to be told from a sequence: whatever it turns out to be is dropped.
    k.droppedBytes = k.decoder.buffer.size();
}

bool askCursorPosition(int* row, int* column) {
    Keyboard& k = startKeyboard();
    const TerminalInfo& info = terminalStart();
    if (!info.outputIsTerminal) return false;
    if (!info.inputIsTerminal) return terminalAskCursorAside(row, column);
    terminalWrite("\x1b[6n", 4);
    k.reportsDue++;
    k.decoder.cursorReportOutstanding = true;
    k.reportWanted = true;
    long long deadline = monotonicMs() + TerminalReplyTimeoutMs;
    for (long long left = TerminalReplyTimeoutMs; left > 0 && !k.inputEnded; left = deadline - monotonicMs()) {
        waitForInput(static_cast<int>(left));
        collectKeys();
        if (!k.reportWanted) {
            *row = k.reportRow;
            *column = k.reportColumn;
            return true;
        }
    }
    k.reportWanted = false;
    k.lateReportUntilMs = monotonicMs() + LateReportMs;
    return false;
}

void waitForKey() {
    Keyboard& k = startKeyboard();
    for (;;) {
        collectKeys();
        if (keyQueueTakePressed(k.queue)) return;
        // Once input has ended no key can ever come; waiting on would never return.
        if (k.inputEnded) return;
        waitForInput(50);
    }
}

Text inputText(const Text& prompt) {
    startKeyboard();
    carryOutPendingBreak();
    LineView view;
    view.prompt = prompt + "? ";
    int promptRow = cursorRow();
    long long scrolls = scrollCount();
    print(view.prompt);
    carryOutPendingBreak();  // a prompt that filled the bottom-right cell: the line starts below
    showCursor(true);
    anchorAtCursor(view);
    view.oneTerminalLine = view.row == promptRow && view.scrolls == scrolls;
    view.lineStart = view.column - 1;
    view.resumes = terminalResumes();
    LineEditor editor;
    int checks = cursorChecks();
    for (;;) {
        int key = nextEditKey(view, editor, &checks);
        if (key == 0) break;  // input ended: the line stands as typed
        int oldLength = textLength(editor.line);
        int from = 0;
        EditOutcome outcome = editLine(editor, key, screenWidth(), &from);
        if (outcome == EditOutcome::Finished) break;
        if (outcome == EditOutcome::Beep) beep();
        if (outcome == EditOutcome::Changed) {
            // Drawn across a row's end, the line is rows of the layer's own, which no terminal joins.
            int fromRow = 0, endRow = 0, column = 0;
            cellOf(view, from, &fromRow, &column);
            cellOf(view, std::max(std::max(textLength(editor.line), oldLength) - 1, from), &endRow, &column);
            if (endRow != fromRow) view.oneTerminalLine = false;
            redrawLine(view, editor, from, oldLength);
        }
        if (outcome != EditOutcome::Ignored) placeCursor(view, editor.position);
    }
    placeCursor(view, textLength(editor.line));
    printLine(Text());
    if (terminalStart().cursorHidden) showCursor(false);
    return firstLineItem(editor.line);
}
