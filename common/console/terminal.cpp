#include "common/console/terminal.h"

#include "common/console/key_decoder.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

// Which descriptor is what:
// - keys are read from standard input, whether it is a terminal or a pipe;
// - termios is changed on the output's terminal, or on the input's when only that is one;
// - the start-up queries (kitty keyboard, cursor position, device attributes) go out only when
//   output is a terminal. Their replies come on the input; when the input is a pipe the layer
//   opens /dev/tty just for the cursor position and reads nothing else from it.

namespace {

constexpr int StdIn = 0;
constexpr int StdOut = 1;
constexpr int ReplyTimeoutMs = 300;

TerminalInfo info;
bool started = false;
int modeFd = -1;               // the terminal whose termios is changed
struct termios savedTermios;
struct termios rawTermios;
std::string startupInput;      // keys typed while the start-up replies were awaited

// Prebuilt so that signal handlers only write and call tcsetattr.
char enterModes[96];
std::size_t enterModesLength = 0;
char restoreModes[96];
std::size_t restoreModesLength = 0;

volatile sig_atomic_t rawActive = 0;       // raw mode and the modes are on and need undoing
volatile sig_atomic_t suspended = 0;       // restored for a stop; re-entered on continue
volatile sig_atomic_t resizedFlag = 0;
volatile sig_atomic_t hungUp = 0;
volatile sig_atomic_t cursorQueried = 0;   // a cursor position query went out on resuming
volatile sig_atomic_t queryOnResume = 0;

// The output run waiting to go out: bytes pendingStart up to pendingEnd of pendingOutput. The bytes are
// stored before the end moves and the start moves after each write, so a signal handler that writes
// what lies between the two never sends a byte that was not stored.
char pendingOutput[TerminalRunSize];
volatile sig_atomic_t pendingStart = 0;
volatile sig_atomic_t pendingEnd = 0;

long long monotonicMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void appendTo(char* buffer, std::size_t* length, std::size_t capacity, const char* text) {
    std::size_t n = std::strlen(text);
    if (*length + n > capacity) return;
    std::memcpy(buffer + *length, text, n);
    *length += n;
}

// Writes all of it; used from signal handlers too, so only write() and errno.
void writeAll(int fd, const char* bytes, std::size_t count) {
    int savedErrno = errno;
    while (count > 0) {
        ssize_t n = write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    errno = savedErrno;
}

// Writes the waiting output run. Async-signal-safe: only write() and errno. A write error drops the run.
void writePendingOutput() {
    int savedErrno = errno;
    while (pendingStart < pendingEnd) {
        std::size_t count = static_cast<std::size_t>(pendingEnd - pendingStart);
        ssize_t n = write(StdOut, pendingOutput + pendingStart, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pendingStart = pendingStart + static_cast<int>(n);
    }
    pendingEnd = 0;
    pendingStart = 0;
    errno = savedErrno;
}

bool isForeground() {
    pid_t group = tcgetpgrp(modeFd);
    return group == -1 || group == getpgrp();
}

// Undoes every mode and the raw mode. Async-signal-safe.
void undoModes() {
    if (!rawActive) return;
    rawActive = 0;
    int savedErrno = errno;
    if (info.outputIsTerminal && !hungUp) writeAll(StdOut, restoreModes, restoreModesLength);
    // TCSAFLUSH drops unread input, so late replies and key releases do not reach the shell.
    // SIGTTOU is held so that a restore from the background does not stop the process.
    sigset_t hold, previous;
    sigemptyset(&hold);
    sigaddset(&hold, SIGTTOU);
    sigprocmask(SIG_BLOCK, &hold, &previous);
    if (modeFd >= 0) tcsetattr(modeFd, hungUp ? TCSANOW : TCSAFLUSH, &savedTermios);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = savedErrno;
}

// Raw mode and the terminal modes again, after a stop. Async-signal-safe.
void reenterModes() {
    if (!suspended || modeFd < 0 || !isForeground()) return;
    suspended = 0;
    tcsetattr(modeFd, TCSANOW, &rawTermios);
    if (info.outputIsTerminal) writeAll(StdOut, enterModes, enterModesLength);
    if (queryOnResume) {
        writeAll(StdOut, "\x1b[6n", 4);
        cursorQueried = 1;
    }
    rawActive = 1;
}

void unblock(int signalNumber) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signalNumber);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// SIGINT, SIGTERM, SIGQUIT, SIGHUP and the crash signals: restore, then the default action.
void restoreAndReraise(int signalNumber) {
    if (signalNumber == SIGHUP) hungUp = 1;
    terminalRestore();
    signal(signalNumber, SIG_DFL);
    unblock(signalNumber);
    raise(signalNumber);
}

void onStop(int) {
    int savedErrno = errno;
    if (rawActive) {
        undoModes();
        suspended = 1;
    }
    signal(SIGTSTP, SIG_DFL);
    unblock(SIGTSTP);
    raise(SIGTSTP);  // stops here; SIGCONT's handler re-enters the modes
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTSTP, &action, nullptr);
    reenterModes();
    errno = savedErrno;
}

void onContinue(int) {
    int savedErrno = errno;
    reenterModes();
    errno = savedErrno;
}

void onResize(int) { resizedFlag = 1; }

void install(int signalNumber, void (*handler)(int), int flags, bool keepIgnored) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    if (keepIgnored && sigaction(signalNumber, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
        return;  // ignored by whoever started us (nohup, a background job): leave it so
    }
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

void installSignalHandlers() {
    for (int s : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) install(s, restoreAndReraise, SA_RESETHAND, true);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) install(s, restoreAndReraise, SA_RESETHAND, false);
    install(SIGTSTP, onStop, 0, true);
    install(SIGCONT, onContinue, SA_RESTART, false);
    install(SIGWINCH, onResize, SA_RESTART, false);
    signal(SIGPIPE, SIG_IGN);  // a closed output just makes writes fail
}

void readSize() {
    struct winsize size;
    if (info.outputIsTerminal && ioctl(StdOut, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        info.width = size.ws_col;
        info.height = size.ws_row;
    } else {
        info.width = 80;
        info.height = 25;
    }
}

bool localeTakesUtf8() {
    std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

void enterRawMode() {
    if (tcgetattr(modeFd, &savedTermios) != 0) {
        modeFd = -1;
        return;
    }
    rawTermios = savedTermios;
    // ISIG stays on: Ctrl+C, Ctrl+\ and Ctrl+Z keep raising their signals.
    rawTermios.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    rawTermios.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    rawTermios.c_cc[VMIN] = 0;
    rawTermios.c_cc[VTIME] = 0;
    tcsetattr(modeFd, TCSANOW, &rawTermios);
    rawActive = 1;
}

// What the start-up replies told; the other bytes read meanwhile are kept as typed keys.
struct ReplyScan {
    bool kitty = false;
    bool attributes = false;
    bool cursor = false;
};

void scanReplies(KeyDecoder& decoder, ReplyScan& scan, bool keepKeys, long long now) {
    for (;;) {
        std::string before = decoder.buffer;
        KeyEvent event = keyDecoderNext(decoder, now);
        if (event.kind == KeyEventKind::None || event.kind == KeyEventKind::NeedMore) return;
        if (event.kind == KeyEventKind::KittyFlags) scan.kitty = true;
        else if (event.kind == KeyEventKind::DeviceAttributes) scan.attributes = true;
        else if (event.kind == KeyEventKind::CursorReport) {
            scan.cursor = true;
            info.cursorRow = event.row;
            info.cursorColumn = event.column;
        } else if (keepKeys) {
            startupInput.append(before, 0, event.length);
        }
    }
}

// Sends the queries and waits for the device attributes reply, which every terminal answers
// and which comes after the others; a terminal that answers nothing costs ReplyTimeoutMs.
ReplyScan askTerminal(int replyFd, const char* queries, bool keepKeys) {
    writeAll(StdOut, queries, std::strlen(queries));
    KeyDecoder decoder;
    decoder.cursorReportOutstanding = true;
    decoder.utf8Input = false;  // only the splitting matters here
    ReplyScan scan;
    long long deadline = monotonicMs() + ReplyTimeoutMs;
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

void buildModeStrings(bool kitty) {
    enterModesLength = restoreModesLength = 0;
    // metaSendsEscape makes xterm send Alt+key as ESC key; XTSAVE/XTRESTORE keep the user's choice.
    appendTo(enterModes, &enterModesLength, sizeof enterModes, "\x1b[?1036s\x1b[?1036h\x1b[?1004h");
    if (kitty) appendTo(enterModes, &enterModesLength, sizeof enterModes, "\x1b[>3u");
    if (kitty) appendTo(restoreModes, &restoreModesLength, sizeof restoreModes, "\x1b[<u");
    appendTo(restoreModes, &restoreModesLength, sizeof restoreModes, "\x1b[?1004l\x1b[?1036r\x1b[0m\x1b[?25h");
}

// The queries of the first use. Keys come from the input terminal, whose replies are read there;
// with piped input only the cursor position is asked, through /dev/tty.
void startModes() {
    if (!info.outputIsTerminal) return;
    if (info.inputIsTerminal) {
        const char* modes = "\x1b[?1036s\x1b[?1036h\x1b[?1004h";
        writeAll(StdOut, modes, std::strlen(modes));
        ReplyScan scan = askTerminal(StdIn, "\x1b[?u\x1b[6n\x1b[c", true);
        info.kittyKeyboard = scan.kitty && scan.attributes;
        if (info.kittyKeyboard) writeAll(StdOut, "\x1b[>3u", 5);
        buildModeStrings(info.kittyKeyboard);
        queryOnResume = 1;
        return;
    }
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
        askTerminal(tty, "\x1b[6n\x1b[c", false);
        close(tty);
    }
    restoreModesLength = 0;
    appendTo(restoreModes, &restoreModesLength, sizeof restoreModes, "\x1b[0m\x1b[?25h");
}

}  // namespace

const TerminalInfo& terminalStart() {
    if (started) return info;
    started = true;
    info.inputIsTerminal = isatty(StdIn) == 1;
    info.outputIsTerminal = isatty(StdOut) == 1;
    info.utf8 = localeTakesUtf8();
    installSignalHandlers();
    modeFd = info.outputIsTerminal ? StdOut : info.inputIsTerminal ? StdIn : -1;
    if (modeFd >= 0) enterRawMode();
    std::atexit(terminalRestore);
    readSize();
    startModes();
    return info;
}

void terminalRestore() {
    writePendingOutput();
    undoModes();
}

void terminalWrite(const char* bytes, std::size_t count) {
    terminalStart();
    writePendingOutput();
    writeAll(StdOut, bytes, count);
}

void terminalQueue(const char* bytes, std::size_t count) {
    terminalStart();
    while (count > 0) {
        std::size_t end = static_cast<std::size_t>(pendingEnd);
        if (end + count > TerminalRunSize && end > 0) {
            writePendingOutput();
            end = 0;
        }
        std::size_t n = count < TerminalRunSize ? count : TerminalRunSize;
        std::memcpy(pendingOutput + end, bytes, n);
        pendingEnd = static_cast<int>(end + n);
        bytes += n;
        count -= n;
    }
}

void terminalFlush() {
    if (pendingEnd > 0) writePendingOutput();
}

bool terminalResized(int* width, int* height) {
    terminalStart();
    if (!resizedFlag) return false;
    resizedFlag = 0;
    readSize();
    *width = info.width;
    *height = info.height;
    return true;
}

long terminalRead(char* buffer, std::size_t capacity) {
    terminalStart();
    if (!startupInput.empty()) {
        std::size_t n = startupInput.size() < capacity ? startupInput.size() : capacity;
        std::memcpy(buffer, startupInput.data(), n);
        startupInput.erase(0, n);
        return static_cast<long>(n);
    }
    if (hungUp) return -1;
    struct pollfd p = {StdIn, POLLIN, 0};
    int ready = poll(&p, 1, 0);
    if (ready < 0) return 0;
    if (ready == 0) return 0;
    if (p.revents & POLLNVAL) return -1;
    ssize_t n = read(StdIn, buffer, capacity);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return -1;  // end of input, or the terminal hung up (EIO)
}

bool terminalWaitForInput(int milliseconds) {
    terminalStart();
    terminalFlush();
    if (!startupInput.empty()) return true;
    struct pollfd p = {StdIn, POLLIN, 0};
    return poll(&p, 1, milliseconds) > 0;
}

bool terminalTakeCursorQuery() {
    if (!cursorQueried) return false;
    cursorQueried = 0;
    return true;
}
