// The queries of the first use: whether the terminal speaks the kitty keyboard protocol, where its
// cursor stands, and its device attributes, whose reply closes every round. Replies come on the input,
// among whatever keys the user types meanwhile; those keys are kept for the decoder.
#include "common/console/terminal/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// What the start-up replies told; the other bytes read meanwhile are kept as typed keys.
struct ReplyScan {
    bool kitty = false;
    bool attributes = false;
    bool cursor = false;
    int row = 1, column = 1;
};

void scanReplies(KeyDecoder& decoder, ReplyScan& scan, bool keepKeys, long long now) {
    for (;;) {
        std::string before = decoder.buffer;
        KeyEvent event = keyDecoderNext(decoder, now);
        if (event.kind == KeyEventKind::None || event.kind == KeyEventKind::NeedMore) return;
        if (event.kind == KeyEventKind::KittyFlags) scan.kitty = true;
        else if (event.kind == KeyEventKind::DeviceAttributes) scan.attributes = true;
        else if (event.kind == KeyEventKind::ModeReport && event.mode == 25) {
            // Reset, or reset for good: hidden. No answer, or any other, counts as visible.
            terminal.info.cursorHidden = event.modeState == 2 || event.modeState == 4;
        } else if (event.kind == KeyEventKind::CursorReport) {
            scan.cursor = true;
            scan.row = event.row;
            scan.column = event.column;
        } else if (keepKeys) {
            terminal.startupInput.append(before, 0, event.length);
        }
    }
}

// Sends the queries and waits for the device attributes reply, which every terminal answers
// and which comes after the others; a terminal that answers nothing costs TerminalReplyTimeoutMs.
ReplyScan askTerminal(int replyFd, bool kitty, bool cursorMode, bool keepKeys) {
    writeQueries(kitty, cursorMode);
    KeyDecoder decoder;
    decoder.cursorReportOutstanding = true;
    decoder.utf8Input = false;  // only the splitting matters here
    ReplyScan scan;
    long long deadline = monotonicMs() + TerminalReplyTimeoutMs;
    for (long long now = monotonicMs(); !scan.attributes && now < deadline; now = monotonicMs()) {
        struct pollfd p = {replyFd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(deadline - now)) <= 0) continue;
        char bytes[256];
        ssize_t n = read(replyFd, bytes, sizeof bytes);
        if (n <= 0) break;
        keyDecoderFeed(decoder, bytes, static_cast<std::size_t>(n), now);
        scanReplies(decoder, scan, keepKeys, now);
    }
    if (keepKeys) terminal.startupInput += decoder.buffer;  // an unfinished key stays for the decoder
    return scan;
}

void noteCursor(const ReplyScan& scan) {
    terminal.info.cursorKnown = scan.cursor;
    terminal.info.cursorRow = scan.row;
    terminal.info.cursorColumn = scan.column;
}

}  // namespace

// The queries of the first use. Keys come from the input terminal, whose replies are read there;
// with piped input only the cursor position is asked, through /dev/tty.
void startModes() {
    TerminalInfo& info = terminal.info;
    if (!info.outputIsTerminal) return;
    if (info.inputIsTerminal) {
        buildModeStrings(true, false);  // a way out while the replies are awaited undoes the modes too
        writeEnterModes();
        ReplyScan scan = askTerminal(StdIn, true, true, true);
        info.kittyKeyboard = scan.kitty && scan.attributes;
        if (info.kittyKeyboard) writeKittyFlags();
        noteCursor(scan);
        buildModeStrings(true, info.kittyKeyboard);
        return;
    }
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
        noteCursor(askTerminal(tty, false, true, false));
        close(tty);
    }
    buildModeStrings(false, false);
}

bool terminalAskCursorAside(int* row, int* column) {
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return false;
    ReplyScan scan = askTerminal(tty, false, false, false);
    close(tty);
    *row = scan.row;
    *column = scan.column;
    return scan.cursor;
}
