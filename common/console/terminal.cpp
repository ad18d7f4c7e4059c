#include "common/console/terminal_internal.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

// Which descriptor is what:
// - keys are read from standard input, whether it is a terminal or a pipe;
// - termios is changed on the output's terminal, or on the input's when only that is one;
// - the start-up queries (kitty keyboard, cursor position, device attributes) go out only when
//   output is a terminal. Their replies come on the input; when the input is a pipe the layer
//   opens /dev/tty just for the cursor position and reads nothing else from it.

TerminalInfo info;
int modeFd = -1;
struct termios savedTermios;
struct termios rawTermios;
std::string startupInput;

char enterModes[96];
std::size_t enterModesLength = 0;
char restoreModes[96];
std::size_t restoreModesLength = 0;

volatile sig_atomic_t rawActive = 0;
volatile sig_atomic_t suspended = 0;
volatile sig_atomic_t resizedFlag = 0;
volatile sig_atomic_t hungUp = 0;
volatile sig_atomic_t resumes = 0;

namespace {

bool started = false;

// The output run waiting to go out: bytes pendingStart up to pendingEnd of pendingOutput. The bytes are
// stored before the end moves and the start moves after each write, so a signal handler that writes
// what lies between the two never sends a byte that was not stored.
char pendingOutput[TerminalRunSize];
volatile sig_atomic_t pendingStart = 0;
volatile sig_atomic_t pendingEnd = 0;

}  // namespace

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

namespace {

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

int terminalResumes() {
    return resumes;
}
