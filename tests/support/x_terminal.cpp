#include "tests/support/x_terminal.h"

#include "tests/support/tmux_pane.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// What every process of the test sees: the display, software GL for kitty, and private configuration,
// so that neither a user's settings nor a missing session bus or GPU changes what runs.
std::string environment(const XTerminal& t) {
    return "DISPLAY=" + t.display + " LIBGL_ALWAYS_SOFTWARE=1 NO_AT_BRIDGE=1 XDG_CONFIG_HOME=" + t.directory +
           "/config XDG_CACHE_HOME=" + t.directory + "/cache XDG_RUNTIME_DIR=" + t.directory + " ";
}

// An X terminal draws in its own time: a tenth of a second between looks is enough.
constexpr int LookPauseMs = 100;

// Ends a process started here: TERM, then KILL if it is still there after two seconds.
void endProcess(pid_t* pid) {
    if (*pid <= 0) return;
    kill(*pid, SIGTERM);
    bool gone = pollUntil([&] { return waitpid(*pid, nullptr, WNOHANG) == *pid; }, 2000, LookPauseMs);
    if (!gone) {
        kill(*pid, SIGKILL);
        waitpid(*pid, nullptr, 0);
    }
    *pid = -1;
}

// Xvfb on the first free display, which it names on a pipe (-displayfd): no two runs take the same one.
bool startServer(XTerminal& t) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    t.server = fork();
    if (t.server == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    struct pollfd p = {fds[0], POLLIN, 0};
    char c = 0;
    while (number.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1) number += c;
    close(fds[0]);
    if (number.find('\n') == std::string::npos) return false;
    t.display = ":" + number.substr(0, number.find('\n'));
    return true;
}

std::string terminalCommand(const XTerminal& t, int columns, int rows, const std::string& command) {
    std::string size = std::to_string(columns) + "x" + std::to_string(rows);
    std::string run = "sh -c " + shellQuote(command);
    switch (t.kind) {
    case XTerminalKind::Kitty:
        return "kitty --config NONE -o allow_remote_control=yes --listen-on unix:" + t.directory +
               "/kitty.sock -o initial_window_width=" + std::to_string(columns) + "c -o initial_window_height=" +
               std::to_string(rows) + "c -o remember_window_size=no " + run;
    case XTerminalKind::Vte:
        return "xfce4-terminal --disable-server --geometry " + size + " -x " + run;
    case XTerminalKind::Xterm:
        // Ctrl+Shift+P prints the saved lines and the screen, as text, to a file.
        return "xterm -geometry " + size + " -xrm " +
               shellQuote("XTerm*printerCommand: cat > " + t.directory + "/xterm.txt") +
               " -xrm " + shellQuote("XTerm*printAttributes: 0") + " -xrm " +
               shellQuote("XTerm*VT100.translations: #override Shift Ctrl <Key>p: print-everything()") + " -e " + run;
    }
    return "";
}

bool startTerminal(XTerminal& t, int columns, int rows, const std::string& command) {
    std::string line = environment(t) + "exec " + terminalCommand(t, columns, rows, command) + " >" + t.directory +
                       "/terminal.log 2>&1 </dev/null";
    t.terminal = fork();
    if (t.terminal == 0) {
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string pid = std::to_string(t.terminal);
    pollUntil([&] {
        std::string found = xRun(t, "xdotool search --onlyvisible --pid " + pid + " 2>/dev/null | tail -n 1");
        t.window = found.substr(0, found.find('\n'));
        return !t.window.empty();
    }, 20000, LookPauseMs);
    if (t.window.empty()) return false;
    xRun(t, "timeout 10 xdotool windowfocus --sync " + t.window);
    return true;
}

}  // namespace

XTerminal::~XTerminal() { stopXTerminal(*this); }

const char* xTerminalProgram(XTerminalKind kind) {
    switch (kind) {
    case XTerminalKind::Kitty: return "kitty";
    case XTerminalKind::Vte: return "xfce4-terminal";
    case XTerminalKind::Xterm: return "xterm";
    }
    return "";
}

bool xTerminalInstalled(XTerminalKind kind) {
    std::string check = std::string("{ command -v ") + xTerminalProgram(kind) +
                        " && command -v Xvfb && command -v xdotool && command -v xclip; } >/dev/null 2>&1";
    return std::system(check.c_str()) == 0;
}

bool startXTerminal(XTerminal& t, XTerminalKind kind, int columns, int rows, const std::string& command) {
    stopXTerminal(t);
    char directory[] = "/tmp/x_terminal_XXXXXX";
    if (mkdtemp(directory) == nullptr) return false;
    t.directory = directory;
    t.kind = kind;
    mkdir((t.directory + "/config").c_str(), 0700);
    return startServer(t) && startTerminal(t, columns, rows, command);
}

void stopXTerminal(XTerminal& t) {
    endProcess(&t.terminal);
    endProcess(&t.server);
    if (!t.directory.empty()) std::system(("rm -rf " + shellQuote(t.directory)).c_str());
    t.directory.clear();
    t.window.clear();
}

std::string xRun(const XTerminal& t, const std::string& command) {
    std::string output;
    FILE* pipe = popen((environment(t) + "sh -c " + shellQuote(command) + " </dev/null").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    pclose(pipe);
    return output;
}

void xKeys(const XTerminal& t, const std::string& names) {
    xRun(t, "timeout 20 xdotool key --delay 60 " + names);
}

void xType(const XTerminal& t, const std::string& text) {
    xRun(t, "timeout 20 xdotool type --delay 60 " + shellQuote(text));
}

void xHoldKey(const XTerminal& t, const std::string& name, int milliseconds) {
    std::string seconds = std::to_string(milliseconds / 1000.0);
    xRun(t, "timeout 20 xdotool keydown " + name + " sleep " + seconds + " keyup " + name);
}

void xResize(const XTerminal& t, int columns, int rows) {
    xRun(t, "timeout 10 xdotool windowsize --usehints " + t.window + " " + std::to_string(columns) + " " +
                std::to_string(rows));
}

std::string xScreenText(const XTerminal& t) {
    switch (t.kind) {
    case XTerminalKind::Kitty:
        return xRun(t, "timeout 10 kitty @ --to unix:" + t.directory + "/kitty.sock get-text --extent all");
    case XTerminalKind::Vte:
        // Select All takes the screen without the scrollback; Copy hands it to the clipboard.
        return xRun(t, "timeout 10 xdotool key ctrl+shift+a key ctrl+shift+c; sleep 0.3; "
                       "timeout 5 xclip -o -selection clipboard 2>/dev/null");
    case XTerminalKind::Xterm: {
        std::string file = t.directory + "/xterm.txt";
        std::remove(file.c_str());
        xKeys(t, "ctrl+shift+p");
        struct stat before = {}, after = {};
        pollUntil([&] { return stat(file.c_str(), &before) == 0; }, 5000, LookPauseMs);
        // The printer command is done once the file stops growing.
        pollUntil([&] {
            bool same = stat(file.c_str(), &after) == 0 && after.st_size == before.st_size && after.st_size > 0;
            before = after;
            return same;
        }, 5000, LookPauseMs);
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    }
    return "";
}

bool waitForXText(const XTerminal& t, const std::function<bool(const std::string&)>& ready, int maxMs) {
    return pollUntil([&] { return ready(xScreenText(t)); }, maxMs, LookPauseMs);
}

void kittySendText(const XTerminal& t, const std::string& text) {
    std::string kitty = "timeout 10 kitty @ --to unix:" + t.directory + "/kitty.sock";
    xRun(t, "printf '%s' " + shellQuote(text) + " | " + kitty + " send-text --stdin");
}
