// The console in the terminals people use, each real and under an X server of its own, keys typed as
// X events: kitty's keyboard protocol with Num Lock off and on, and the log once VTE (which rewraps its
// rows) and xterm (which does not) are narrowed from 100 columns to 80. A terminal that is installed
// but does not start fails the test; only one that is not installed at all skips it.
#include "tests/support/x_terminal.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string Probe = std::string(CHAT_BUILD_DIR) + "/console_probe";

// The status of the command before, then kitty's keyboard flags as the terminal reports them, in a form
// that the terminal shows as text ("flags:033[?0u" when no flags are pushed).
const std::string StatusAndFlags =
    "echo st=$?; stty -echo -icanon min 0 time 5; printf '\\033[?u'; "
    "r=$(dd bs=1 count=8 2>/dev/null | od -An -c | tr -d ' \\n'); stty sane; echo flags:$r\r";

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string withoutHeld(std::string text) {
    for (std::size_t at = text.find("held\n"); at != std::string::npos; at = text.find("held\n")) text.erase(at, 5);
    return text;
}

// The text between two markers (from the first after `from`); an empty `to` is the end.
std::string between(const std::string& text, const std::string& from, const std::string& to) {
    std::size_t start = text.find(from);
    if (start == std::string::npos) return "";
    std::size_t end = to.empty() ? std::string::npos : text.find(to, start + from.size());
    return text.substr(start + from.size(), end == std::string::npos ? std::string::npos : end - start - from.size());
}

// An interactive sh in kitty that runs the probe; what each run printed follows the marker its shell echoed.
struct KittyShell {
    XTerminal t;
    int runs = 0;

    bool start() { return startXTerminal(t, XTerminalKind::Kitty, 80, 25, "PS1='$ ' ENV= exec sh -i"); }
    // Runs the command line, handed over as text, and returns its marker.
    std::string run(const std::string& command) {
        std::string number = std::to_string(++runs);
        kittySendText(t, "echo run-''" + number + "; " + command + "\r");
        return "run-" + number + "\n";
    }
    std::string since(const std::string& marker) {
        std::string text = xScreenText(t);
        std::size_t at = text.rfind(marker);
        return at == std::string::npos ? "" : text.substr(at);
    }
    // Waits for the text after the marker, and for the shell's prompt after that when asked to.
    bool waitFor(const std::string& marker, const std::string& what, bool prompt = false) {
        bool seen = waitForXText(t, [&](const std::string& text) {
            std::size_t at = text.rfind(marker);
            at = at == std::string::npos ? at : text.find(what, at);
            return at != std::string::npos && (!prompt || text.find("\n$", at) != std::string::npos);
        });
        if (!seen) ADD_FAILURE() << "never saw " << what << (prompt ? " and a prompt" : "") << since(marker);
        return seen;
    }
    // The probe's tty loop, after "hi" answered its prompt; returns its process id.
    int startProbe(const std::string& marker) {
        if (!waitFor(marker, "Say?")) return -1;
        xType(t, "hi");
        xKeys(t, "Return");
        if (!waitFor(marker, "ready pid ")) return -1;
        std::string text = since(marker);
        return std::atoi(text.c_str() + text.find("ready pid ") + 10);
    }
};

bool numLockOn(const XTerminal& t) { return xRun(t, "xset q").find("Num Lock:    on") != std::string::npos; }

// Each key once: Backspace takes one character, Enter is one key (none left over from the prompt's),
// Shift and a character outside ASCII type what they show; a tapped Esc is one press; a held Esc is seen
// held until it is let go; q ends the probe and kitty's flags are popped. "flags:0" is the reply shown
// ("flags:033[?...u"), not the command line that asks for it.
void checkKeys(KittyShell& shell) {
    XTerminal& t = shell.t;
    std::string marker = shell.run(Probe + " held");
    ASSERT_GT(shell.startProbe(marker), 0);
    xType(t, "XY");
    xKeys(t, "BackSpace BackSpace Return Tab");
    xType(t, "B!\xc3\xa9");
    xKeys(t, "Escape");
    xType(t, "x");
    ASSERT_TRUE(shell.waitFor(marker, "key 120"));
    xHoldKey(t, "Escape", 800);
    xType(t, "y");
    ASSERT_TRUE(shell.waitFor(marker, "key 121"));
    xType(t, "zq");  // q ends the probe on its press; its release (some 30 ms later) must not reach the shell
    ASSERT_TRUE(shell.waitFor(marker, "key 113", true));
    kittySendText(t, StatusAndFlags);
    ASSERT_TRUE(shell.waitFor(marker, "flags:0"));
    std::string text = shell.since(marker);
    std::string typed = between(text, "ready pid ", "key 120");
    typed = typed.substr(typed.find('\n') + 1);
    EXPECT_EQ(between(typed, "", "key 130\n"), "key 88\nkey 89\nkey 8\nkey 8\nkey 13\nkey 9\nkey 66\nkey 33\n") << text;
    // A tap lasts a few passes of the loop (xdotool holds a key some 30 ms) and is one press.
    std::string tap = between(typed, "key 130\n", "");
    EXPECT_GE(count(tap, "held\n"), 1u) << text;
    EXPECT_EQ(withoutHeld(tap), "key 27\n") << text;
    std::string held = between(text, "key 120\n", "key 121");
    EXPECT_GE(count(held, "held"), 5u) << text;
    EXPECT_GE(count(held, "key 27"), 1u) << text;
    EXPECT_EQ(between(text, "key 121\n", "key 113"), "key 122\n") << text;
    EXPECT_NE(text.find("key 113\n$ echo st=$?;"), std::string::npos) << text;  // nothing typed before it
    EXPECT_NE(text.find("st=0\nflags:033[?0u"), std::string::npos) << text;
}

// Ctrl+C (a key under the protocol), SIGTERM and SIGHUP end the probe at once, and pop kitty's flags.
void checkWaysOut(KittyShell& shell) {
    const struct {
        const char* key;
        int signalNumber;
    } ways[] = {{"ctrl+c", SIGINT}, {nullptr, SIGTERM}, {nullptr, SIGHUP}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.signalNumber);
        std::string marker = shell.run(Probe + " held");
        int pid = shell.startProbe(marker);
        ASSERT_GT(pid, 0);
        if (way.key != nullptr) {
            xKeys(shell.t, way.key);
        } else {
            kill(pid, way.signalNumber);
        }
        ASSERT_TRUE(shell.waitFor(marker, "ready pid", true));
        kittySendText(shell.t, StatusAndFlags);
        ASSERT_TRUE(shell.waitFor(marker, "flags:0"));
        std::string expected = "\n$ echo st=$?;";  // the prompt, with nothing a key left behind
        EXPECT_NE(shell.since(marker).find(expected), std::string::npos) << shell.since(marker);
        expected = "st=" + std::to_string(128 + way.signalNumber) + "\nflags:033[?0u";
        EXPECT_NE(shell.since(marker).find(expected), std::string::npos) << shell.since(marker);
    }
}

// With Num Lock off and on.
class XTerminalKittyTest : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(NumLock, XTerminalKittyTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

TEST_P(XTerminalKittyTest, KeysCountOnceAndEveryWayOutPopsTheFlags) {
    if (!xTerminalInstalled(XTerminalKind::Kitty)) GTEST_SKIP() << "kitty, Xvfb, xdotool or xclip is not installed";
    KittyShell shell;
    ASSERT_TRUE(shell.start()) << "kitty did not start under Xvfb";
    if (numLockOn(shell.t) != GetParam()) xKeys(shell.t, "Num_Lock");
    ASSERT_EQ(numLockOn(shell.t), GetParam());
    checkKeys(shell);
    if (HasFatalFailure()) return;
    checkWaysOut(shell);
}

// Lines 10 to 33 of the probe's log, whole, one per row above the cursor's empty row.
std::vector<std::string> expectedRows() {
    std::vector<std::string> rows;
    for (int line = 10; line <= 33; ++line) {
        rows.push_back("line " + std::to_string(line) + " " + std::string(55, '-') + "|");
    }
    return rows;
}

// The rows of the screen's text that hold anything, the last ones of what the terminal gave.
std::vector<std::string> lastRows(const std::string& text, std::size_t n) {
    std::vector<std::string> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    while (!rows.empty() && rows.back().find_first_not_of(' ') == std::string::npos) rows.pop_back();
    if (rows.size() > n) rows.erase(rows.begin(), rows.end() - static_cast<long>(n));
    return rows;
}

class XTerminalResizeTest : public ::testing::TestWithParam<XTerminalKind> {};

INSTANTIATE_TEST_SUITE_P(Terminals, XTerminalResizeTest, ::testing::Values(XTerminalKind::Vte, XTerminalKind::Xterm),
                         [](const ::testing::TestParamInfo<XTerminalKind>& info) {
                             return info.param == XTerminalKind::Vte ? "Vte" : "Xterm";
                         });

// 30 lines in colours at 100 columns, each on a row that came in by a scroll; narrowed to 80, three more.
// The screen then holds the last 24 lines, whole and in order, with no blank row among them.
TEST_P(XTerminalResizeTest, LogNarrowedFrom100To80ReadsWhole) {
    XTerminalKind kind = GetParam();
    if (!xTerminalInstalled(kind)) {
        GTEST_SKIP() << xTerminalProgram(kind) << ", Xvfb, xdotool or xclip is not installed";
    }
    XTerminal t;
    ASSERT_TRUE(startXTerminal(t, kind, 100, 25, "printf '\\033[25;1H'; exec " + Probe + " log"))
        << xTerminalProgram(kind) << " did not start under Xvfb";
    auto shows = [](const std::string& what) {
        return [what](const std::string& text) { return text.find(what) != std::string::npos; };
    };
    xKeys(t, "x x x x x x x x x x");
    ASSERT_TRUE(waitForXText(t, shows("line 30 ")));
    xResize(t, 80, 25);
    xRun(t, "sleep 1");
    xKeys(t, "x");
    ASSERT_TRUE(waitForXText(t, shows("line 33 ")));
    std::string text = xScreenText(t);
    EXPECT_EQ(lastRows(text, 24), expectedRows()) << text;
}

}  // namespace
