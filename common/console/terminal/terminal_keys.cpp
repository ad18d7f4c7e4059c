// The terminal back end's keyboard: the terminal's bytes through the key decoder into the front's key
// queue; which keys are held and whether the terminal has the focus; and the cursor position query,
// whose answer comes among the keys.
#include "common/console/console.h"
#include "common/console/key_tables.h"
#include "common/console/terminal/terminal.h"

#include <climits>
#include <poll.h>

namespace {

constexpr std::size_t ReadSize = 1024;
// A cursor report later than this after the layer gave up waiting is taken as keys again (Ctrl+F3 and
// the like share its form).
constexpr long long LateReportMs = 5000;
constexpr int ReadsPerIntake = 16;  // bounds one intake at 16 KiB when input keeps streaming in


TerminalKeys& startKeyboard() {
    TerminalKeys& keyboard = terminal.keys;
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

void forgetHeldKeys(TerminalKeys& k) {
    for (int i = 0; i < ScanCodeCount; ++i) k.held[i] = k.seen[i] = false;
}

void takeKey(TerminalKeys& k, KeyQueue* keys, const KeyEvent& event) {
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
    keyQueuePush(*keys, event.key);
}

void handleEvent(TerminalKeys& k, KeyQueue* keys, const KeyEvent& event) {
    switch (event.kind) {
    case KeyEventKind::Key: takeKey(k, keys, event); break;
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
void decodeInput(TerminalKeys& k, KeyQueue* keys, long long now) {
    for (;;) {
        KeyEvent event = keyDecoderNext(k.decoder, now);
        if (event.kind == KeyEventKind::None || event.kind == KeyEventKind::NeedMore) return;
        if (k.droppedBytes > 0) {
            k.droppedBytes = event.length < k.droppedBytes ? k.droppedBytes - event.length : 0;
            if (event.kind == KeyEventKind::Key) continue;
        }
        handleEvent(k, keys, event);
    }
}

// Reads what the terminal holds until the input is drained (a read that found nothing, or fewer bytes
// than it asked for), and decodes each read at once. Keys typed ahead past what the queue holds drop
// the oldest, so a key typed last (Esc behind a paste) is seen at once.
void readInput(TerminalKeys& k, KeyQueue* keys, long long now) {
    char bytes[ReadSize];
    for (int reads = 0; reads < ReadsPerIntake && !k.inputEnded; ++reads) {
        long count = terminalRead(bytes, sizeof bytes);
        if (count < 0) k.inputEnded = true;
        if (count > 0) {
            keyDecoderFeed(k.decoder, bytes, static_cast<std::size_t>(count), now);
            decodeInput(k, keys, now);
        }
        if (count < static_cast<long>(sizeof bytes)) {
            k.drainedAtMs = now;
            break;
        }
    }
}

}  // namespace

// Sends the waiting output, reads what input waits, decodes it and queues the keys. A program's
// pass asks twice (isKeyDown, then pollKey): when an intake in this same millisecond already found
// the input drained, the second one does not read again; keys typed meanwhile wait for the next
// pass, and the decoder still runs so the lone Esc's time-out is kept.
bool backendCollect(KeyQueue* keys) {
    TerminalKeys& k = startKeyboard();
    terminalFlush();
    if (k.resumes != terminal.resumes) {
        // Focus reports were off while the program was stopped: assume the focus until told otherwise.
        k.resumes = terminal.resumes;
        k.focused = true;
    }
    long long now = monotonicMs();
    if (!k.reportWanted && now > k.lateReportUntilMs) {
        k.reportsDue = 0;
        k.decoder.cursorReportOutstanding = false;
    }
    if (now != k.drainedAtMs) readInput(k, keys, now);
    // Once input has ended no byte can complete a sequence, so whatever waits is decoded now.
    if (k.inputEnded) now = LLONG_MAX / 2;
    decodeInput(k, keys, now);
    return !k.inputEnded;
}

// Waits for input or a signal; once input has come, the next intake reads even within the same millisecond.
bool backendWait(int milliseconds) {
    terminalStart();
    terminalFlush();
    struct pollfd p = {StdIn, POLLIN, 0};
    if (terminal.startupInput.empty() && poll(&p, 1, milliseconds) <= 0) return false;
    terminal.keys.drainedAtMs = -1;
    return true;
}

// Without releases a press counts as held in the pass that sees it.
bool backendKeyDown(int scanCode) {
    TerminalKeys& k = startKeyboard();
    k.takenScan = 0;
    if (scanCode <= 0 || scanCode >= ScanCodeCount) return false;
    bool down = k.focused && (k.seen[scanCode] || (k.kitty && k.held[scanCode]));
    k.seen[scanCode] = false;
    return down;
}

// A press that pollKey took still counts for the isKeyDown that comes next, as in a loop that asks
// isKeyDown before each pollKey; a second pollKey first (the line editor, a discarding loop) drops it.
void backendKeyTaken(int key) {
    TerminalKeys& k = startKeyboard();
    if (key < 0) {
        forgetHeldKeys(k);
        // A lone Esc may still wait to be told from a sequence: whatever it turns out to be is dropped.
        k.droppedBytes = k.decoder.buffer.size();
    }
    if (k.takenScan > 0) k.seen[k.takenScan] = false;
    k.takenScan = 0;
    int scan = key > 0 ? scanCodeOfKey(key) : 0;
    if (scan > 0 && scan < ScanCodeCount && k.seen[scan]) k.takenScan = scan;
}

bool terminalAskCursor(int* row, int* column, KeyQueue* keys) {
    TerminalKeys& k = startKeyboard();
    const TerminalInfo& info = terminalStart();
    if (!info.outputIsTerminal) return false;
    if (!info.inputIsTerminal) return terminalAskCursorAside(row, column);
    writeCursorQuery();
    k.reportsDue++;
    k.decoder.cursorReportOutstanding = true;
    k.reportWanted = true;
    long long deadline = monotonicMs() + TerminalReplyTimeoutMs;
    for (long long left = TerminalReplyTimeoutMs; left > 0 && !k.inputEnded; left = deadline - monotonicMs()) {
        backendWait(static_cast<int>(left));
        backendCollect(keys);
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
