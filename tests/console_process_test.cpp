// The keyboard half in real processes: console_probe driven by keys through a pipe, and typed into
// a real terminal (a tmux pane running an interactive sh with job control), where the terminal must
// come back exactly as it was after Esc, Ctrl+C, SIGTERM, a crash, and Ctrl+Z followed by fg.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/tmux_pane.h"

namespace {

const std::string Probe = std::string(CHAT_BUILD_DIR) + "/console_probe";

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

std::string tempPath(const std::string& name) {
    return std::string(CHAT_BUILD_DIR) + "/console_process_" + name + "_" + std::to_string(getpid());
}

// Runs the probe with the bytes as its standard input (a file) and returns its output.
std::string runPiped(const std::string& mode, const std::string& input) {
    std::string in = tempPath("in"), out = tempPath("out");
    writeFile(in, input);
    std::string command = "timeout 20 " + Probe + " " + mode + " <" + in + " >" + out + " 2>&1";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << mode << " status " << status;
    std::string output = readFile(out);
    std::remove(in.c_str());
    std::remove(out.c_str());
    return output;
}

std::string itemOf(const std::string& output) {
    std::size_t from = output.find("item=[");
    std::size_t to = output.rfind("]\r\n");
    if (from == std::string::npos || to == std::string::npos || to < from) return "<none>";
    return output.substr(from + 6, to - from - 6);
}

TEST(ConsolePipeTest, InputTextReturnsTheFirstItemOfTheTypedLine) {
    struct Row {
        std::string keys;
        std::string item;
    };
    const Row rows[] = {
        {" 10.0.0.1,x\r", "10.0.0.1"},
        {"\"a, b\" c\r", "a, b"},
        {"10.0.0.1 \r", "10.0.0.1 "},
        {"\r", ""},
        {"abc\x1b[27uxyz\r", "xyz"},             // Esc (here in its kitty form) erases the line
        {"ab\x1b[D\x1b[3~c\r", "ac"},            // Left, Del, then insert
        {"ab\x7f\x08x\r", "x"},                  // both Backspaces
        {"abc\x1b[H\x1b[Cz\x1b[Fy\n", "azbcy"},  // Home, Right, End; a line feed also ends
        {"ab\x1bq\x1b[15~\x01z\r", "abz"},        // Alt+Q, F5 and Ctrl+A do nothing in the line
        {"unfinished", "unfinished"},            // input ends before Enter
    };
    for (const Row& row : rows) {
        std::string output = runPiped("line", row.keys);
        EXPECT_EQ(output.rfind("Enter ip to connect to? ", 0), 0u) << output;
        EXPECT_EQ(itemOf(output), row.item) << output;
    }
}

// Keys typed ahead past the 511 that wait are read all the same, and the oldest are dropped.
TEST(ConsolePipeTest, TypeAheadKeepsTheNewest511Keys) {
    std::string output = runPiped("line", "abc" + std::string(5000, 'x') + "yz\r");
    EXPECT_EQ(itemOf(output), std::string(508, 'x') + "yz");
}

TEST(ConsolePipeTest, KeysAfterTheLineStayQueuedAndEndWithTheCloseRequest) {
    std::string output = runPiped("line", "ok\r\x1b[A\x1bq\x7f\r\x1b[1;5D\xe9");
    EXPECT_EQ(itemOf(output), "ok");
    std::string keys = output.substr(output.find("]\r\n") + 3);
    EXPECT_EQ(keys, "key 255 72\r\nkey 255 16\r\nkey 8\r\nkey 13\r\nkey 255 115\r\nkey 233\r\nkey 255 107\r\n");
}

TEST(ConsolePipeTest, WaitForKeyNeedsANewPressAndReturnsAtEndOfInput) {
    EXPECT_EQ(runPiped("wait", "xy"), "first 120\r\nwoke\r\nkey 121\r\nkey 255 107\r\n");
    // With no input at all the close request is the one key; after it nothing can come.
    EXPECT_EQ(runPiped("wait", ""), "first 255 107\r\nwoke\r\n");
}

// The last line of a screen that is not empty.
std::string lastLine(const std::string& screen) {
    std::size_t end = screen.find_last_not_of('\n');
    if (end == std::string::npos) return "";
    std::size_t start = screen.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return screen.substr(start, end + 1 - start);
}

// A tmux server of its own, with one 80x25 pane running an interactive sh with job control; every
// byte the programs write to the pane is kept in a file as well. With focus events on, the detached
// pane is told "focus out" as soon as a program asks for focus reports.
class TerminalSession {
public:
    explicit TerminalSession(bool focusEvents) {
        raw_ = tempPath("pane");
        pane_.pipeTo = raw_;
        pane_.focusEvents = focusEvents;
        startTmuxPane(pane_, "console_input", "env PS1='$ ' ENV= sh -i");
        waitFor([](const std::string& screen) { return screen.rfind("$", 0) == 0; });
    }
    ~TerminalSession() {
        stopTmuxPane(pane_);
        std::remove(raw_.c_str());
    }

    std::string screen() { return capturePaneText(pane_); }
    bool waitFor(const std::function<bool(const std::string&)>& done) {
        if (waitForPane(pane_, done)) return true;
        ADD_FAILURE() << "screen never showed what was awaited:\n" << screen();
        return false;
    }
    bool waitForText(const std::string& text) {
        return waitFor([&](const std::string& s) { return s.find(text) != std::string::npos; });
    }
    void type(const std::string& line) {
        typeText(pane_, line);
        sendKeys(pane_, "Enter");
    }
    void keys(const std::string& names) { sendKeys(pane_, names); }
    void text(const std::string& literal) { typeText(pane_, literal); }
    void bytes(const std::string& hex) { sendHex(pane_, hex); }

    // The terminal's settings as stty shows them inside the pane, with the shell back in charge.
    std::string stty(const std::string& label) {
        std::string file = tempPath("stty_" + label);
        // The quotes keep the typed line from ever matching what is awaited, wherever the pane wraps it.
        type("stty -a > " + file + "; echo ok-''" + label);
        waitForText("\nok-" + label + "\n");
        std::string settings = readFile(file);
        std::remove(file.c_str());
        return settings;
    }
    int startProbe() {
        type(Probe + " tty");
        waitForText("Say?");  // the pane's capture drops trailing blanks
        typeText(pane_, "hi");
        keys("Enter");
        waitForText("ready pid ");
        std::string s = screen();
        return std::atoi(s.c_str() + s.find("ready pid ") + 10);
    }
    // Waits for the shell's prompt after the probe ended and returns the probe's exit status.
    int probeStatus() {
        waitFor([](const std::string& s) { return lastLine(s) == "$"; });
        type("echo st=$?");
        waitForText("\nst=");
        std::string s = screen();
        return std::atoi(s.c_str() + s.rfind("\nst=") + 4);
    }
    std::string paneOutput() { return readFile(raw_); }
    std::string format(const std::string& what) { return paneFormat(pane_, what); }
    void resize(int width, int height) { resizeTmuxPane(pane_, width, height); }
    std::string history() { return capturePaneHistory(pane_); }

private:
    TmuxPane pane_;
    std::string raw_;
};

bool haveTmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

// Every mode the probe switched on was switched off again after the last time it was switched on.
void expectModesUndone(const std::string& output) {
    const std::pair<const char*, const char*> modes[] = {
        {"\x1b[?1004h", "\x1b[?1004l"},
        {"\x1b[?1036s", "\x1b[?1036r"},
        {"\x1b[?25h", "\x1b[?25h"},
        {"\x1b=", "\x1b>"},
    };
    for (const auto& mode : modes) {
        std::size_t on = output.rfind(mode.first);
        ASSERT_NE(on, std::string::npos) << mode.first + 1;
        std::size_t off = output.find(mode.second, on + (std::string(mode.first) == mode.second ? 0 : 1));
        EXPECT_NE(off, std::string::npos) << mode.first + 1;
    }
    EXPECT_EQ(output.find("\x1b[>"), std::string::npos);  // no kitty flags pushed inside tmux
}

// Each case runs with tmux's focus events off and on.
class ConsoleTerminalTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    }
};

INSTANTIATE_TEST_SUITE_P(FocusEvents, ConsoleTerminalTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

TEST_P(ConsoleTerminalTest, EscEndsTheProgramAndTheTerminalIsAsBefore) {
    TerminalSession session(GetParam());
    std::string before = session.stty("before");
    session.startProbe();
    EXPECT_NE(session.screen().find("item=[hi]"), std::string::npos);
    session.keys("F1 M-q");
    session.waitForText("key 255 16");
    session.keys("Escape");
    EXPECT_EQ(session.probeStatus(), 0);
    std::string screen = session.screen();
    // The held-down test saw the Esc press, and pollKey still got it.
    EXPECT_NE(screen.find("key 255 59\nkey 255 16\nheld\nkey 27\n"), std::string::npos) << screen;
    EXPECT_EQ(session.stty("after"), before);
    expectModesUndone(session.paneOutput());
}

// tmux does not answer the query for the cursor's visibility, so the cursor counts as visible: hidden by
// the shell before, it is shown for the prompt, stays so, and is shown at the end.
TEST_P(ConsoleTerminalTest, CursorCountsAsVisibleWhenTheTerminalDoesNotSay) {
    TerminalSession session(GetParam());
    session.type("printf '\\033[?25l'");
    session.startProbe();
    EXPECT_EQ(session.format("#{cursor_flag}"), "1\n");
    EXPECT_LT(session.paneOutput().find("\x1b[?25l"), session.paneOutput().find("\x1b[?25$p"));
    session.keys("Escape");
    EXPECT_EQ(session.probeStatus(), 0);
    EXPECT_EQ(session.format("#{cursor_flag}"), "1\n");
}

// Where the shell left its line break pending in the last column, output starts on the next row. Where
// the terminal answers the start-up question about the cursor too late (tmux held stopped, as over a
// slow link), output starts on a fresh row at the bottom, and the late answer (here CSI 1;6R, the form
// of Ctrl+F3) is no key. No row on screen is written over.
TEST_P(ConsoleTerminalTest, FirstLineNeverOverwritesTheScreen) {
    TerminalSession session(GetParam());
    session.type("printf '%080d' 0; " + Probe + " line");
    session.waitForText("Enter ip to connect to?");
    session.keys("Enter");
    EXPECT_TRUE(session.waitForText(std::string(80, '0') + "\nEnter ip to connect to?\nitem=[]"));
    session.waitFor([](const std::string& s) { return lastLine(s) == "$"; });
    session.type("clear; printf first; sleep 1; exec " + Probe + " keys");
    std::string shell = "/proc/" + std::to_string(std::atoi(session.format("#{pane_pid}").c_str())) + "/exe";
    pid_t tmux = std::atoi(session.format("#{pid}").c_str());
    kill(tmux, SIGSTOP);  // from before the probe asks until well after its 300 ms wait
    char exe[256] = "";
    for (int i = 0; i < 400 && std::strstr(exe, "console_probe") == nullptr; ++i, usleep(10000)) {
        exe[std::max<ssize_t>(0, readlink(shell.c_str(), exe, sizeof exe - 1))] = 0;
    }
    usleep(800000);
    kill(tmux, SIGCONT);
    session.keys("x");  // the probe prints each key, and ends a second after the last
    EXPECT_TRUE(session.waitFor([](const std::string& s) { return lastLine(s) == "key 120"; }));
    EXPECT_EQ(session.history().rfind("first\n", 0), 0u) << session.history();  // scrolled up, whole
    EXPECT_EQ(session.screen().find("key 255"), std::string::npos) << session.screen();
}

// Resized after the log scrolled (taller, wider, shorter, narrower, wider): before its next line the
// layer learns where the terminal moved the cursor, and every line stays readable and in order.
TEST_P(ConsoleTerminalTest, ResizesKeepTheLogInOrder) {
    TerminalSession session(GetParam());
    session.type(Probe + " log");
    int printed = 0;
    auto more = [&] {
        session.keys("x");
        printed += 3;
        session.waitForText("line " + std::to_string(printed) + " ");
    };
    for (int i = 0; i < 12; ++i) more();
    for (const auto& size : {std::make_pair(80, 30), {100, 30}, {80, 40}, {80, 20}, {60, 25}, {100, 25}}) {
        session.resize(size.first, size.second);
        more();
        more();
    }
    std::string all = session.history(), numbers;
    for (std::size_t at = all.find("line "); at != std::string::npos; at = all.find("line ", at + 1)) {
        numbers += std::to_string(std::atoi(all.c_str() + at + 5)) + " ";
    }
    std::string expected;
    for (int line = 1; line <= printed; ++line) expected += std::to_string(line) + " ";
    EXPECT_EQ(numbers, expected) << all;
    EXPECT_EQ(std::count(all.begin(), all.end(), '|'), printed) << all;
    // The log is printed in colours: no row between two of its lines is left blank by a rewrap.
    EXPECT_EQ(session.screen().find("|\n\nline"), std::string::npos) << session.screen();
    session.keys("Escape");
}

// The window dragged through 11 sizes, some narrower than the typed answer, 50 to 300 ms apart, while
// the address prompt waits: once it settles the answer stands on screen once, behind its prompt, and
// typing goes on at its end.
TEST_P(ConsoleTerminalTest, ResizesAtThePromptLeaveOneAnswer) {
    TerminalSession session(GetParam());
    const std::string prompt = "Enter ip to connect to? ", answer = "192.168.100.200:hello-there";
    session.type(Probe + " line");
    session.waitForText(prompt.substr(0, prompt.size() - 1));
    session.text(answer);
    session.waitForText(prompt + answer);
    const int sizes[][3] = {{70, 25, 50}, {40, 30, 300}, {20, 25, 120}, {12, 20, 80}, {30, 25, 250},
                            {90, 25, 60}, {15, 24, 200}, {60, 25, 150}, {25, 25, 90}, {100, 40, 280}, {80, 25, 0}};
    for (const auto& size : sizes) {
        session.resize(size[0], size[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(size[2]));
    }
    auto copies = [&](const std::string& s) {
        int n = 0;
        for (std::size_t at = s.find(answer); at != std::string::npos; at = s.find(answer, at + 1)) ++n;
        return n;
    };
    auto oneAnswer = [&](const std::string& s) { return copies(s) == 1 && s.find(prompt + answer) != std::string::npos; };
    EXPECT_TRUE(session.waitFor(oneAnswer));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // tmux tells of the last size late
    EXPECT_TRUE(oneAnswer(session.screen())) << session.screen();
    session.keys("x Enter");
    EXPECT_TRUE(session.waitForText("item=[" + answer + "x]"));
    std::string screen = session.screen();
    EXPECT_EQ(copies(screen), 2) << screen;  // the line and the item read from it
    EXPECT_NE(screen.find(prompt + answer + "x\n"), std::string::npos) << screen;
}

// Keys as tmux sends them: the keypad in application mode, switched on while the probe runs and off
// at its end, types what its keys show and its Enter is 13; Alt+Down is the BIOS's 160.
TEST_P(ConsoleTerminalTest, KeypadAndAltDownGiveTheirPcKeys) {
    TerminalSession session(GetParam());
    session.startProbe();
    session.keys("KPEnter KP7 KP+ M-Down");
    session.waitForText("key 255 160");
    std::string screen = session.screen();
    EXPECT_NE(screen.find("key 13\nkey 55\nkey 43\nkey 255 160\n"), std::string::npos) << screen;
    session.keys("Escape");
    EXPECT_EQ(session.probeStatus(), 0);
    expectModesUndone(session.paneOutput());
}

// A focus report gone stale (lost during a stop, or tmux's "out" for a detached session) never hides
// Esc: keys reach only the window with the focus, so the press proves it.
TEST_P(ConsoleTerminalTest, AKeyPressProvesTheFocus) {
    TerminalSession session(GetParam());
    session.startProbe();
    session.bytes("1b 5b 4f");  // the terminal reports focus out
    session.keys("C-z");
    session.waitForText("Stopped");
    session.type("fg");
    session.keys("Escape");
    EXPECT_EQ(session.probeStatus(), 0);
    EXPECT_NE(session.screen().find("held\nkey 27"), std::string::npos) << session.screen();
}

// Each way out that ends the probe at once still leaves the terminal as it found it.
TEST_P(ConsoleTerminalTest, SignalsEndAtOnceAndRestore) {
    struct WayOut {
        const char* name;
        const char* key;  // typed into the pane; none means SIGTERM from outside
        int status;
    };
    const WayOut ways[] = {
        {"Ctrl+C", "C-c", 130},
        {"SIGTERM", nullptr, 143},
        {"abort", "A", 134},  // the probe aborts on A
    };
    for (const WayOut& way : ways) {
        SCOPED_TRACE(way.name);
        TerminalSession session(GetParam());
        std::string before = session.stty("before");
        int pid = session.startProbe();
        ASSERT_GT(pid, 0);
        if (way.key != nullptr) {
            session.keys(way.key);
        } else {
            kill(pid, SIGTERM);
        }
        EXPECT_EQ(session.probeStatus(), way.status);
        EXPECT_EQ(session.stty("after"), before);
        expectModesUndone(session.paneOutput());
    }
}

TEST_P(ConsoleTerminalTest, CtrlZRestoresAndFgTakesKeysAgain) {
    TerminalSession session(GetParam());
    std::string before = session.stty("before");
    session.startProbe();
    session.keys("C-z");
    session.waitForText("Stopped");
    EXPECT_EQ(session.stty("stopped"), before);
    session.type("fg");
    // Back in raw mode: a single key arrives without Enter, and keys decode as before.
    session.keys("x Up");
    session.waitForText("key 255 72");
    EXPECT_NE(session.screen().find("key 120\n"), std::string::npos);
    session.keys("Escape");
    EXPECT_EQ(session.probeStatus(), 0);
    EXPECT_EQ(session.stty("after"), before);
    expectModesUndone(session.paneOutput());
}

// The test plays a terminal that speaks the kitty keyboard protocol: it answers the probe's
// queries on a pseudo-terminal and then sends keys in the protocol's form.
class KittyTerminal {
public:
    KittyTerminal() {
        struct winsize size = {25, 80, 0, 0};
        pid_ = forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            // As a shell starts a job: whatever this test inherited, Ctrl+C and the like act.
            for (int signalNumber : {SIGINT, SIGQUIT, SIGTSTP, SIGTERM}) signal(signalNumber, SIG_DFL);
            execl(Probe.c_str(), "console_probe", "held", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~KittyTerminal() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }
    // Reads what the probe writes until the text has appeared from offset from on.
    bool readUntil(const std::string& text, std::size_t from = 0) {
        for (int i = 0; i < 400 && output_.find(text, from) == std::string::npos; ++i) readSome(25);
        return output_.find(text, from) != std::string::npos;
    }
    void readSome(int milliseconds) {
        struct pollfd p = {master_, POLLIN, 0};
        if (poll(&p, 1, milliseconds) <= 0) return;
        char bytes[4096];
        ssize_t n = read(master_, bytes, sizeof bytes);
        if (n > 0) output_.append(bytes, static_cast<std::size_t>(n));
        // Once the probe has closed its side, the pty reports a hang-up at once: pace the loop.
        if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    void send(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    int wait() {
        int status = -1;
        pid_t result = 0;
        for (int i = 0; i < 400 && result == 0; ++i) {
            result = waitpid(pid_, &status, WNOHANG);
            if (result == 0) readSome(25);
        }
        ended_ = result == pid_;
        return ended_ ? status : -1;
    }
    std::size_t count(const std::string& text, std::size_t from, std::size_t to) const {
        std::size_t n = 0;
        for (std::size_t at = output_.find(text, from); at != std::string::npos && at < to; at = output_.find(text, at + 1)) ++n;
        return n;
    }

    int master_ = -1;
    pid_t pid_ = -1;
    bool ended_ = false;
    std::string output_;
};

// Answers the probe's start-up queries as kitty would, with the cursor hidden on row 3; true once it
// prompts.
bool startAsKitty(KittyTerminal& terminal) {
    if (terminal.pid_ <= 0 || !terminal.readUntil("\x1b[c")) return false;
    EXPECT_NE(terminal.output_.find("\x1b[?u\x1b[?25$p"), std::string::npos);
    terminal.send("\x1b[?0u\x1b[?25;2$y\x1b[3;1R\x1b[?62;22c");
    return terminal.readUntil("\x1b[>27u") && terminal.readUntil("Say?");
}

TEST(ConsoleKittyTest, EscHeldIsExactAndCtrlCInterrupts) {
    KittyTerminal terminal;
    ASSERT_TRUE(startAsKitty(terminal));
    terminal.send("hi\r");
    ASSERT_TRUE(terminal.readUntil("item=[hi]"));
    ASSERT_TRUE(terminal.readUntil("ready pid "));
    // The probe's lines reach the terminal as cursor moves and text, so lines are found by text.
    // Pressed and held: every pass of the loop sees Esc down, and the press is queued once.
    std::size_t pressed = terminal.output_.size();
    terminal.send("\x1b[27u");
    ASSERT_TRUE(terminal.readUntil("key 27", pressed));
    std::size_t keyAt = terminal.output_.find("key 27", pressed);
    ASSERT_TRUE(terminal.readUntil("held", keyAt + 1));
    std::size_t firstHeld = terminal.output_.find("held", keyAt + 1);
    ASSERT_TRUE(terminal.readUntil("held", firstHeld + 1));
    // A repeat is another press; after the release and a key, Esc is no longer down.
    std::size_t repeated = terminal.output_.size();
    terminal.send("\x1b[27;1:2u");
    ASSERT_TRUE(terminal.readUntil("key 27", repeated));
    terminal.send("\x1b[27;1:3ux");
    ASSERT_TRUE(terminal.readUntil("key 120"));
    terminal.send("y");
    ASSERT_TRUE(terminal.readUntil("key 121"));
    std::size_t x = terminal.output_.find("key 120"), y = terminal.output_.find("key 121");
    EXPECT_EQ(terminal.count("held", x, y), 0u);
    EXPECT_EQ(terminal.count("key 27", repeated, terminal.output_.size()), 1u);
    // Ctrl+C in the protocol's form ends the program by SIGINT, after the terminal was restored.
    std::size_t interrupted = terminal.output_.size();
    terminal.send("\x1b[99;5u");
    int status = terminal.wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    std::string tail = terminal.output_.substr(interrupted);
    EXPECT_NE(tail.find("\x1b[<u"), std::string::npos);
    // After the pop, the device attributes are asked for, so that whatever kitty sent before it is dropped.
    EXPECT_NE(tail.find("\x1b[c", tail.find("\x1b[<u")), std::string::npos);
    EXPECT_NE(tail.find("\x1b[?1004l"), std::string::npos);
    struct termios settings;
    ASSERT_EQ(tcgetattr(terminal.master_, &settings), 0);
    EXPECT_TRUE(settings.c_lflag & ICANON);
    EXPECT_TRUE(settings.c_lflag & ECHO);
}

// An Esc pressed at the prompt, or with the Enter that ends it, is gone once the loop starts; a press
// followed by a focus-out is forgotten, since its release may never come; the cursor, hidden before the
// prompt, is hidden again after it.
TEST(ConsoleKittyTest, NoEscFromBeforeTheLoopAndNoneHeldAfterFocusOut) {
    KittyTerminal terminal;
    ASSERT_TRUE(startAsKitty(terminal));
    terminal.send("a\x1b[27u\x1b[27;1:3ub\r\x1b[27u");
    ASSERT_TRUE(terminal.readUntil("ready pid "));
    std::size_t loop = terminal.output_.size();
    terminal.send("\x1b[27;1:3ux");
    ASSERT_TRUE(terminal.readUntil("key 120", loop));
    terminal.send("\x1b[27u\x1b[O");
    ASSERT_TRUE(terminal.readUntil("key 27", loop));
    terminal.send("y");
    ASSERT_TRUE(terminal.readUntil("key 121", loop));
    EXPECT_NE(terminal.output_.find("item=[b]"), std::string::npos);
    std::size_t shown = terminal.output_.find("\x1b[?25h", terminal.output_.find("Say?"));
    EXPECT_LT(terminal.output_.find("\x1b[?25l", shown), terminal.output_.find("item=[b]"));
    EXPECT_EQ(terminal.count("held", loop, terminal.output_.size()), 0u);
    EXPECT_EQ(terminal.count("key 27", loop, terminal.output_.find("key 120")), 0u);
}

}  // namespace
