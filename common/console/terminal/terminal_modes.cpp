// Raw mode, the modes the layer switches on, and the signals: every way out of the process, and a stop
// and continue, undo them or enter them again. Everything a signal handler runs here is async-signal-safe.
#include "common/console/terminal/terminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

bool isForeground() {
    pid_t group = tcgetpgrp(terminal.modeFd);
    return group == -1 || group == getpgrp();
}

// How far a device attributes reply (ESC [ ? digits and semicolons c) has come after one more byte; 4
// once it is whole.
int replyProgress(int state, char c) {
    if (c == 0x1b) return 1;
    if (state == 1) return c == '[' ? 2 : 0;
    if (state == 2) return c == '?' ? 3 : 0;
    if (state == 3) return c == 'c' ? 4 : (c >= '0' && c <= '9') || c == ';' ? 3 : 0;
    return 0;
}

// kitty encodes a key let go just before it took the pop of its flags as a sequence, which would reach
// the shell after the program. After the pop the restore asks for the device attributes: every such
// release comes before their reply, so the input is read up to the reply and dropped with it. It waits
// as long as the start-up did, which this terminal answered in time; only write(), poll() and read(), as
// in a signal handler. Not after a hang-up: nobody answers.
void awaitKittyPop() {
    const TerminalInfo& info = terminal.info;
    if (!info.kittyKeyboard || !info.inputIsTerminal || !info.outputIsTerminal || terminal.hungUp) return;
    writeAttributesQuery();
    int state = 0;
    for (int round = 0; round < TerminalReplyTimeoutMs / 25 && state < 4; ++round) {
        struct pollfd p = {StdIn, POLLIN, 0};
        if (poll(&p, 1, 25) <= 0) continue;
        char bytes[64];
        ssize_t n = read(StdIn, bytes, sizeof bytes);
        for (ssize_t i = 0; i < n && state < 4; ++i) state = replyProgress(state, bytes[i]);
    }
}

// Undoes every mode and the raw mode.
void undoModes() {
    Terminal& t = terminal;
    if (!t.rawActive) return;
    t.rawActive = 0;
    int savedErrno = errno;
    // SIGTTOU is held so that a restore from the background does not stop the process.
    sigset_t hold, previous;
    sigemptyset(&hold);
    sigaddset(&hold, SIGTTOU);
    sigprocmask(SIG_BLOCK, &hold, &previous);
    // Unread input is dropped, so late replies and key releases do not reach the shell. TCSAFLUSH
    // does that once the output has drained; after a hang-up nothing waits for the output, so the
    // input is dropped first (on a pseudo-terminal a flush made just after a write can take the
    // written bytes with it, before the terminal has read them) and the settings change at once.
    if (t.hungUp && t.modeFd >= 0) tcflush(t.modeFd, TCIFLUSH);
    if (t.info.outputIsTerminal) writeRestoreModes();
    awaitKittyPop();
    if (t.modeFd >= 0) tcsetattr(t.modeFd, t.hungUp ? TCSANOW : TCSAFLUSH, &t.savedTermios);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = savedErrno;
}

// Raw mode and the terminal modes again, after a stop. Async-signal-safe.
void reenterModes() {
    Terminal& t = terminal;
    if (!t.suspended || t.modeFd < 0 || !isForeground()) return;
    t.suspended = 0;
    tcsetattr(t.modeFd, TCSANOW, &t.rawTermios);
    if (t.info.outputIsTerminal) writeEnterModes();
    t.rawActive = 1;
    t.resumes = t.resumes + 1;
}

void unblock(int signalNumber) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signalNumber);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// SIGINT, SIGTERM, SIGQUIT, SIGHUP and the crash signals: restore, then the default action.
// A hang-up comes when the terminal has gone, and also from kill -HUP with the terminal still there:
// the restore is written all the same, without waiting, so a terminal that is gone or that reads
// nothing costs no time (the write fails, which is fine) and one that is there gets its modes back.
void restoreAndReraise(int signalNumber) {
    int flags = signalNumber == SIGHUP ? fcntl(StdOut, F_GETFL) : -1;
    bool nonBlocking = flags >= 0 && (flags & O_NONBLOCK) == 0;  // writes fail at once instead of waiting
    if (signalNumber == SIGHUP) terminal.hungUp = 1;
    if (nonBlocking) fcntl(StdOut, F_SETFL, flags | O_NONBLOCK);
    backendRestore();
    if (nonBlocking) fcntl(StdOut, F_SETFL, flags);
    signal(signalNumber, SIG_DFL);
    unblock(signalNumber);
    raise(signalNumber);
}

void install(int signalNumber, void (*handler)(int), int flags, bool keepIgnored) {
    struct sigaction action;
    // Ignored by whoever started us (nohup, a background job): left so.
    if (keepIgnored && sigaction(signalNumber, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) return;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

void onStop(int) {
    int savedErrno = errno;
    if (terminal.rawActive) {
        undoModes();
        terminal.suspended = 1;
    }
    signal(SIGTSTP, SIG_DFL);
    unblock(SIGTSTP);
    raise(SIGTSTP);  // stops here; SIGCONT's handler re-enters the modes
    install(SIGTSTP, onStop, 0, false);
    reenterModes();
    errno = savedErrno;
}

void onContinue(int) {
    int savedErrno = errno;
    reenterModes();
    errno = savedErrno;
}

void onResize(int) { terminal.resizedFlag = 1; }

}  // namespace

void installSignalHandlers() {
    for (int s : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) install(s, restoreAndReraise, SA_RESETHAND, true);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) install(s, restoreAndReraise, SA_RESETHAND, false);
    install(SIGTSTP, onStop, 0, true);
    install(SIGCONT, onContinue, SA_RESTART, false);
    install(SIGWINCH, onResize, SA_RESTART, false);
    signal(SIGPIPE, SIG_IGN);  // a closed output just makes writes fail
}

void enterRawMode() {
    Terminal& t = terminal;
    if (tcgetattr(t.modeFd, &t.savedTermios) != 0) {
        t.modeFd = -1;
        return;
    }
    t.rawTermios = t.savedTermios;
    // ISIG stays on: Ctrl+C, Ctrl+\ and Ctrl+Z keep raising their signals.
    t.rawTermios.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    t.rawTermios.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    t.rawTermios.c_cc[VMIN] = 0;
    t.rawTermios.c_cc[VTIME] = 0;
    tcsetattr(t.modeFd, TCSANOW, &t.rawTermios);
    t.rawActive = 1;
}

// Writes the waiting output run, then undoes every mode and the raw mode. Async-signal-safe, and safe
// more than once.
void backendRestore() {
    terminalFlush();
    undoModes();
}
