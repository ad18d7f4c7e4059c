// The terminal's record, its start, its size and the raw reads of its input. Keys are read from standard
// input, a terminal or a pipe; termios is changed on the output's terminal, or on the input's when only
// that is one; the start-up queries go out only when output is a terminal (terminal_queries.cpp).
#include "common/console/terminal/terminal.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

Terminal terminal;

namespace {

void readSize(TerminalInfo& info) {
    struct winsize size;
    bool known = info.outputIsTerminal && ioctl(StdOut, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0;
    info.width = known ? size.ws_col : 80;
    info.height = known ? size.ws_row : 25;
}

bool localeTakesUtf8() {
    std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

}  // namespace

long long monotonicMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const TerminalInfo& terminalStart() {
    Terminal& t = terminal;
    if (t.started) return t.info;
    t.started = true;
    t.info.inputIsTerminal = isatty(StdIn) == 1;
    t.info.outputIsTerminal = isatty(StdOut) == 1;
    t.info.utf8 = localeTakesUtf8();
    installSignalHandlers();
    t.modeFd = t.info.outputIsTerminal ? StdOut : t.info.inputIsTerminal ? StdIn : -1;
    if (t.modeFd >= 0) enterRawMode();
    std::atexit(backendRestore);
    readSize(t.info);
    startModes();
    return t.info;
}

bool terminalResized() {
    terminalStart();
    if (!terminal.resizedFlag) return false;
    terminal.resizedFlag = 0;
    readSize(terminal.info);
    return true;
}

long terminalRead(char* buffer, std::size_t capacity) {
    Terminal& t = terminal;
    terminalStart();
    if (!t.startupInput.empty()) {
        std::size_t n = t.startupInput.copy(buffer, capacity);
        t.startupInput.erase(0, n);
        return static_cast<long>(n);
    }
    if (t.hungUp) return -1;
    struct pollfd p = {StdIn, POLLIN, 0};
    int ready = poll(&p, 1, 0);
    if (ready <= 0) return 0;
    if (p.revents & POLLNVAL) return -1;
    ssize_t n = read(StdIn, buffer, capacity);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return -1;  // end of input, or the terminal hung up (EIO)
}
