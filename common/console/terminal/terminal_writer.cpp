// The one place that writes to the terminal: the output run that the screen writer's chunks gather in,
// the modes and their undoing, the start-up queries and the cursor's visibility. What a signal handler
// calls here only uses write() and errno.
#include "common/console/terminal/terminal.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// The modes of a terminal that keys come from. metaSendsEscape makes xterm send Alt+key as ESC key
// (XTSAVE/XTRESTORE keep the user's choice); focus reports; and the application keypad, in which the
// keypad's Enter sends ESC O M where terminals otherwise send a line feed, as for Ctrl+Enter.
constexpr const char* KeyModes = "\x1b[?1036s\x1b[?1036h\x1b[?1004h\x1b=";
// The kitty keyboard flags pushed: disambiguated keys (1), press, repeat and release (2), every key as
// an escape code (8) with the text it types (16). Without 8, kitty sends the releases of Enter, Tab and
// Backspace with Num Lock off as the same byte as their press, so each would count twice.
constexpr const char* KittyFlags = "\x1b[>27u";

const char* cursorVisibility(bool visible) {
    return visible ? "\x1b[?25h" : "\x1b[?25l";
}

void appendTo(char* buffer, std::size_t* length, std::size_t capacity, const char* text) {
    std::size_t n = std::strlen(text);
    if (*length + n > capacity) return;
    std::memcpy(buffer + *length, text, n);
    *length += n;
}

// Writes all of it; used from signal handlers too, so only write() and errno.
void writeAll(const char* bytes, std::size_t count) {
    int savedErrno = errno;
    while (count > 0) {
        ssize_t n = write(StdOut, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    errno = savedErrno;
}

// Writes every byte at once, after the waiting output run.
void writeNow(const char* bytes) {
    terminalFlush();
    writeAll(bytes, std::strlen(bytes));
}

}  // namespace

void terminalFlush() {
    int savedErrno = errno;
    Terminal& t = terminal;
    while (t.pendingStart < t.pendingEnd) {
        std::size_t count = static_cast<std::size_t>(t.pendingEnd - t.pendingStart);
        ssize_t n = write(StdOut, t.pendingOutput + t.pendingStart, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        t.pendingStart = t.pendingStart + static_cast<int>(n);
    }
    t.pendingEnd = 0;
    t.pendingStart = 0;
    errno = savedErrno;
}

void terminalQueue(const char* bytes, std::size_t count) {
    Terminal& t = terminal;
    while (count > 0) {
        std::size_t end = static_cast<std::size_t>(t.pendingEnd);
        if (end + count > TerminalRunSize && end > 0) {
            terminalFlush();
            end = 0;
        }
        std::size_t n = count < TerminalRunSize ? count : TerminalRunSize;
        std::memcpy(t.pendingOutput + end, bytes, n);
        t.pendingEnd = static_cast<int>(end + n);
        bytes += n;
        count -= n;
    }
}

// The writer's chunks keep its sequences and glyphs whole, and the run is written before a chunk
// would make it pass its size, so no write splits one.
void terminalDraw(ScreenModel* model) {
    Terminal& t = terminal;
    if (model->changes.empty()) return;
    t.chunks.clear();
    t.writer.utf8 = t.info.utf8;
    renderDrawOps(&t.writer, model->changes, model->width, model->height, &t.chunks);
    for (const std::string& chunk : t.chunks) terminalQueue(chunk.data(), chunk.size());
    model->changes.clear();
}

void buildModeStrings(bool keyModes, bool kitty) {
    Terminal& t = terminal;
    t.enterModesLength = t.restoreModesLength = 0;
    if (keyModes) {
        appendTo(t.enterModes, &t.enterModesLength, sizeof t.enterModes, KeyModes);
        if (kitty) appendTo(t.enterModes, &t.enterModesLength, sizeof t.enterModes, KittyFlags);
        if (kitty) appendTo(t.restoreModes, &t.restoreModesLength, sizeof t.restoreModes, "\x1b[<u");
        appendTo(t.restoreModes, &t.restoreModesLength, sizeof t.restoreModes, "\x1b>\x1b[?1004l\x1b[?1036r");
    }
    appendTo(t.restoreModes, &t.restoreModesLength, sizeof t.restoreModes, "\x1b[0m");
    appendTo(t.restoreModes, &t.restoreModesLength, sizeof t.restoreModes, cursorVisibility(!t.info.cursorHidden));
}

void writeEnterModes() {
    writeAll(terminal.enterModes, terminal.enterModesLength);
}

void writeRestoreModes() {
    writeAll(terminal.restoreModes, terminal.restoreModesLength);
}

void writeKittyFlags() {
    writeAll(KittyFlags, std::strlen(KittyFlags));
}

// Every round ends with the device attributes query, which every terminal answers, after the others.
void writeQueries(bool kitty, bool cursorMode) {
    std::string queries = kitty ? "\x1b[?u" : "";
    if (cursorMode) queries += "\x1b[?25$p";
    queries += "\x1b[6n\x1b[c";
    writeAll(queries.data(), queries.size());
}

void writeAttributesQuery() {
    writeAll("\x1b[c", 3);
}

void writeCursorQuery() {
    writeNow("\x1b[6n");
}

void writeCursorVisibility(bool visible) {
    writeNow(cursorVisibility(visible));
}
