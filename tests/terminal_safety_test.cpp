// Every way out of both real programs leaves the terminal as it found it: Ctrl+C, SIGTERM, a crash signal
// (SIGSEGV sent with kill), Ctrl+Z followed by fg, kill -HUP with the terminal still open, and a hang-up
// (the pane killed under the program). Each program runs from a shell in its own 80x25 tmux pane; the
// shell records `stty -a` before and after, tmux reports the pane's modes (cursor, keypad, mouse, wrap,
// origin, scroll region, alternate screen), the bytes the pane got show the modes tmux does not report
// (focus reports, Alt sending Esc) switched off again, and the shell's next line is in its own colours.
// The shell is dash, which never touches the terminal's settings itself (bash puts back its own copy when
// a job stops or dies of a signal, which would hide a program that did not restore). For Ctrl+Z it is an
// interactive dash with job control, as a user's would be. Esc is covered by the programs' own tests.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/tmux_pane.h"

namespace {

const std::string BuildDir = CHAT_BUILD_DIR;
// What the shell prints once the program has ended; it must come in the terminal's own colours.
const std::string ShellLine = "shell-after-the-program";

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// Each mode the programs switch on was switched off after the last time it was switched on.
bool modesSwitchedOff(const std::string& output) {
    const std::pair<const char*, const char*> modes[] = {
        {"\x1b[?1004h", "\x1b[?1004l"}, {"\x1b[?1036h", "\x1b[?1036r"}, {"\x1b=", "\x1b>"}};
    for (const auto& mode : modes) {
        std::size_t on = output.rfind(mode.first);
        if (on == std::string::npos || output.find(mode.second, on) == std::string::npos) return false;
    }
    return true;
}

// The row the shell printed after the program, every cell in the terminal's own colours, none bold.
bool shellLineInOwnColours(const PaneScreen& screen) {
    for (const PaneRow& row : screen) {
        if (rowText(row).rfind(ShellLine, 0) != 0) continue;
        for (std::size_t i = 0; i < ShellLine.size(); ++i) {
            if (row[i].foreground != -1 || row[i].background != -1 || row[i].bold) return false;
        }
        return true;
    }
    return false;
}

enum class WayOut { CtrlC, Terminate, Crash, SuspendAndResume, HangUpSignal, HangUp };

struct ProgramCase {
    const char* program;  // chat-server or chat-client
    WayOut way;
    const char* expectedStatus;  // as the shell's $? reports it
};

void PrintTo(const ProgramCase& c, std::ostream* out) {
    const char* ways[] = {"Ctrl+C", "SIGTERM", "SIGSEGV", "Ctrl+Z then fg", "kill -HUP", "hang-up"};
    *out << c.program << " ended by " << ways[static_cast<int>(c.way)];
}

class TerminalSafety : public testing::TestWithParam<ProgramCase> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/chat-terminal-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }

    // The pane runs the script with a plain shell, or an interactive shell that the test types into.
    void openPane(bool interactive) {
        std::string command = interactive ? "env PS1=\"$ \" sh -i" : "sh " + dir + "/run.sh";
        terminal.pipeTo = dir + "/output";
        ASSERT_TRUE(startTmuxPane(terminal, "chat-terminal", command));
        if (interactive) {
            ASSERT_TRUE(waitForPane("$ "));
        }
    }
    void TearDown() override {
        std::string pid = readFile(dir + "/pid");
        stopTmuxPane(terminal);
        // A program that outlived its terminal is ended here, by the number it wrote itself.
        if (!pid.empty() && kill(std::atoi(pid.c_str()), 0) == 0) kill(std::atoi(pid.c_str()), SIGKILL);
        std::system(("rm -rf " + dir).c_str());
    }

    // The pane's rows keep their trailing blanks, so the prompt "$ " can be told from a line "$".
    std::string pane() { return capturePaneText(terminal, true); }
    std::string modes() { return paneFormat(terminal, PaneModesFormat); }
    // The program's last bytes may still be on their way through tmux when its exit is known: wait for them.
    bool modesBecome(const std::string& expected) {
        long long end = nowMs() + 5000;
        while (modes() != expected && nowMs() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return modes() == expected;
    }
    void type(const std::string& text) { typeText(terminal, text); }
    void keys(const std::string& names) { sendKeys(terminal, names); }
    bool waitForPane(const std::string& text, int maxMs = 10000) {
        return waitForPaneText(terminal, text, maxMs, true);
    }
    bool waitForFile(const std::string& path, int maxMs = 10000) {
        long long end = nowMs() + maxMs;
        while (nowMs() < end) {
            if (!readFile(path).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    pid_t programPid() { return static_cast<pid_t>(std::atoi(readFile(dir + "/pid").c_str())); }

    // Writes the scripts: prog.sh records the program's pid and becomes the program; run.sh waits until
    // the test has seen the pane's modes, records the terminal's settings around the program and its exit
    // status, then stays so the pane stays.
    void writeScripts(const std::string& program) {
        std::ofstream prog(dir + "/prog.sh");
        prog << "echo $$ > " << dir << "/pid\nexec " << BuildDir << "/" << program << "\n";
        std::ofstream run(dir + "/run.sh");
        // The plain shell shares the program's process group, so Ctrl+C reaches it too: it takes the
        // signal and goes on (a trap with a command, unlike an ignored signal, is not inherited).
        run << "trap true INT\n"
            << "while [ ! -e " << dir << "/go ]; do sleep 0.02; done\n"
            << "stty -a > " << dir << "/before\n"
            << "sh " << dir << "/prog.sh\n"
            << "echo $? > " << dir << "/status\n"
            << "stty -a > " << dir << "/after\n"
            << "echo " << ShellLine << "\n"
            << "exec sleep 600\n";
    }

    // Waits until the program has the terminal in its own mode: the server running, the client in its
    // chat loop. Another test run on this machine may hold the server's port for a while: then the server
    // ends at once, and it is started again.
    void waitUntilRunning(const std::string& program, bool interactive) {
        ASSERT_TRUE(waitForFile(dir + "/pid"));
        if (program == "chat-client") {
            ASSERT_TRUE(waitForPane("Enter ip to connect to? "));
            keys("Enter");
            // A key that comes before the client has discarded the keys typed with the address goes
            // with them: type it again.
            for (int tries = 0; tries < 5; ++tries) {
                type("x");
                if (waitForPane("> x_", 2000)) return;
            }
            FAIL() << pane();
        }
        long long end = nowMs() + 60000;
        while (!waitForPane("Server Running.", 2000) && nowMs() < end) {
            if (pane().find("create an ENet server host") == std::string::npos) continue;
            stopTmuxPane(terminal);
            // What the ended run left is no record of the next one.
            for (const char* file : {"/pid", "/status", "/after", "/output"}) std::remove((dir + file).c_str());
            openPane(interactive);
            if (interactive) startInShell();
            ASSERT_TRUE(waitForFile(dir + "/pid"));
        }
        ASSERT_NE(pane().find("Server Running."), std::string::npos);
    }

    void startInShell() {
        type("stty -a > " + dir + "/before; sh " + dir + "/prog.sh");
        keys("Enter");
    }

    std::string dir;
    TmuxPane terminal;
};

TEST_P(TerminalSafety, WayOutLeavesTheTerminalAsItWas) {
    const ProgramCase& c = GetParam();
    bool interactive = c.way == WayOut::SuspendAndResume;
    writeScripts(c.program);
    openPane(interactive);
    if (HasFatalFailure()) return;
    std::string modesBefore = modes();
    std::ofstream(dir + "/go").close();
    if (interactive) startInShell();
    waitUntilRunning(c.program, interactive);
    if (HasFatalFailure()) return;
    pid_t pid = programPid();
    switch (c.way) {
    case WayOut::CtrlC: keys("C-c"); break;
    case WayOut::Terminate: kill(pid, SIGTERM); break;
    case WayOut::Crash: kill(pid, SIGSEGV); break;
    case WayOut::SuspendAndResume:
        keys("C-z");
        ASSERT_TRUE(waitForPane("Stopped")) << pane();
        // While it is stopped the shell has the terminal back in its normal mode.
        type("stty -a > " + dir + "/suspended; echo suspended-$?");
        keys("Enter");
        ASSERT_TRUE(waitForPane("suspended-0"));
        EXPECT_EQ(readFile(dir + "/suspended"), readFile(dir + "/before"));
        EXPECT_TRUE(modesBecome(modesBefore)) << modes();
        type("fg");
        keys("Enter");
        // Back in its mode, it takes keys again: the client its input line, the server its Esc.
        if (std::string(c.program) == "chat-client") {
            type("y");
            ASSERT_TRUE(waitForPane("> xy_")) << pane();
            keys("Escape");
            // Nothing more is typed until it has gone: Esc and a letter close behind are Alt+letter.
            long long end = nowMs() + 10000;
            while (kill(pid, 0) == 0 && nowMs() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } else {
            keys("Escape");
            ASSERT_TRUE(waitForPane("Hit any key.")) << pane();
            type("k");
            // Typed before the server has gone, the shell's next line would be dropped with its unread input.
            ASSERT_TRUE(waitForPaneText(terminal, "Hit any key.\n$", 10000)) << pane();
        }
        type("echo $? > " + dir + "/status; stty -a > " + dir + "/after; echo " + ShellLine);
        keys("Enter");
        break;
    case WayOut::HangUpSignal: kill(pid, SIGHUP); break;
    case WayOut::HangUp: {
        tmuxStatus(terminal, "kill-pane -t T");
        long long end = nowMs() + 10000;
        while (kill(pid, 0) == 0 && nowMs() < end) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // Nothing is left to restore; the program must not outlive its terminal.
        EXPECT_NE(kill(pid, 0), 0) << c.program << " still runs after its terminal hung up";
        return;
    }
    }
    ASSERT_TRUE(waitForFile(dir + "/after")) << pane();
    EXPECT_EQ(readFile(dir + "/status"), std::string(c.expectedStatus) + "\n");
    EXPECT_EQ(readFile(dir + "/after"), readFile(dir + "/before"));
    EXPECT_TRUE(modesBecome(modesBefore)) << modes();
    EXPECT_TRUE(waitForPaneCells(terminal, shellLineInOwnColours, 5000)) << pane();
    long long end = nowMs() + 5000;  // pipe-pane hands the bytes on a little later
    while (!modesSwitchedOff(readFile(dir + "/output")) && nowMs() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(modesSwitchedOff(readFile(dir + "/output")));
}

const ProgramCase Cases[] = {
    {"chat-server", WayOut::CtrlC, "130"},
    {"chat-server", WayOut::Terminate, "143"},
    {"chat-server", WayOut::Crash, "139"},
    {"chat-server", WayOut::SuspendAndResume, "0"},
    {"chat-server", WayOut::HangUpSignal, "129"},
    {"chat-server", WayOut::HangUp, ""},
    {"chat-client", WayOut::CtrlC, "130"},
    {"chat-client", WayOut::Terminate, "143"},
    {"chat-client", WayOut::Crash, "139"},
    {"chat-client", WayOut::SuspendAndResume, "0"},
    {"chat-client", WayOut::HangUpSignal, "129"},
    {"chat-client", WayOut::HangUp, ""},
};

std::string caseName(const testing::TestParamInfo<ProgramCase>& info) {
    const char* ways[] = {"CtrlC", "Sigterm", "Sigsegv", "CtrlZThenFg", "KillHup", "HangUp"};
    std::string program = std::string(info.param.program) == "chat-server" ? "Server" : "Client";
    return program + ways[static_cast<int>(info.param.way)];
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, TerminalSafety, testing::ValuesIn(Cases), caseName);

}  // namespace
