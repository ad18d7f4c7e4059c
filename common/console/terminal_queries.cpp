// The queries of the first use: whether the terminal speaks the kitty keyboard protocol, where its
// cursor stands, and its device attributes, whose reply closes every round. Replies come on the input,
// among whatever keys the user types meanwhile; those keys are kept for the decoder.
#include "common/console/terminal_internal.h"

#include "common/console/key_decoder.h"

#include <cstring>
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
            info.cursorHidden = event.modeState == 2 || event.modeState == 4;
        }
        else if (event.kind == KeyEventKind::CursorReport) {
            scan.cursor = true;
            scan.row = event.row;
            scan.column = event.column;
        } else if (keepKeys) {
            startupInput.append(before, 0, event.length);
        }
    }
}

// Sends the queries and waits for the device attributes reply, which every terminal answers
// and which comes after the others; a terminal that answers nothing costs TerminalReplyTimeoutMs.
ReplyScan askTerminal(int replyFd, const char* queries, bool keepKeys) {
    writeAll(StdOut, queries, std::strlen(queries));
    KeyDecoder decoder;
    decoder.cursorReportOutstanding = true;
    decoder.utf8Input = false;  // only the splitting matters here
    ReplyScan scan;
    long long deadline = monotonicMs() + TerminalReplyTimeoutMs;
    while (!scan.attributes) {
        long long now = monotonicMs();
        if (now >= deadline) break;
        struct pollfd p = {replyFd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(deadline - now)) <= 0) continue;
        char bytes[256];
        ssize_t n = read(replyFd, bytes, sizeof bytes);
        if (n <= 0) break;
        keyDecoderFeed(decoder, bytes, static_cast<std::size_t>(n), now);
        scanReplies(decoder, scan, keepKeys, now);
    }
    if (keepKeys) startupInput += decoder.buffer;  // an unfinished key stays for the decoder
    return scan;
}

void noteCursor(const ReplyScan& scan) {
    info.cursorKnown = scan.cursor;
    info.cursorRow = scan.row;
    info.cursorColumn = scan.column;
}

}  // namespace

// The queries of the first use. Keys come from the input terminal, whose replies are read there;
// with piped input only the cursor position is asked, through /dev/tty.
void startModes() {
    if (!info.outputIsTerminal) return;
    if (info.inputIsTerminal) {
        buildModeStrings(false);  // a way out while the replies are awaited undoes the modes too
        writeAll(StdOut, KeyModes, std::strlen(KeyModes));
        ReplyScan scan = askTerminal(StdIn, "\x1b[?u\x1b[?25$p\x1b[6n\x1b[c", true);
        info.kittyKeyboard = scan.kitty && scan.attributes;
        if (info.kittyKeyboard) writeAll(StdOut, KittyFlagsPush, std::strlen(KittyFlagsPush));
        noteCursor(scan);
        buildModeStrings(info.kittyKeyboard);
        return;
    }
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
        noteCursor(askTerminal(tty, "\x1b[?25$p\x1b[6n\x1b[c", false));
        close(tty);
    }
    restoreModesLength = 0;
    appendTo(restoreModes, &restoreModesLength, sizeof restoreModes, "\x1b[0m");
    appendTo(restoreModes, &restoreModesLength, sizeof restoreModes, cursorVisibility(!info.cursorHidden));
}

bool terminalAskCursorAside(int* row, int* column) {
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return false;
    ReplyScan scan = askTerminal(tty, "\x1b[6n\x1b[c", false);
    close(tty);
    *row = scan.row;
    *column = scan.column;
    return scan.cursor;
}
