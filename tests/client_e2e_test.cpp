// chat-client end to end: the real server and clients in an 80x25 tmux terminal, read back with their
// colours. Every wait polls the screen with a deadline; nothing asserts a time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/protocol.h"
#include "tests/support/chat_test_client.h"
#include "tests/support/tmux_pane.h"

namespace {

using Clock = std::chrono::steady_clock;
using Row = PaneRow;
using Screen = PaneScreen;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// A cell's foreground as a classic colour number (bit 0 blue, bit 1 green, bit 2 red, bit 3 bright),
// or -1 for the terminal's default; bold makes the eight plain colours bright.
int classicColor(const PaneCell& cell) {
    if (cell.foreground < 0) return -1;
    int ansi = cell.foreground < 8 && cell.bold ? cell.foreground + 8 : cell.foreground;
    return (ansi & 8) | ((ansi & 1) << 2) | (ansi & 2) | ((ansi & 4) >> 2);
}

// The column (0-based cell index) where the ASCII needle starts in the row, or -1.
int findInRow(const Row& row, const std::string& needle) {
    for (size_t start = 0; start + needle.size() <= row.size(); ++start) {
        size_t k = 0;
        while (k < needle.size() && row[start + k].glyph == std::string(1, needle[k])) ++k;
        if (k == needle.size()) return static_cast<int>(start);
    }
    return -1;
}

int findRow(const Screen& screen, const std::string& needle, int from = 0) {
    for (size_t r = static_cast<size_t>(from); r < screen.size(); ++r) {
        if (findInRow(screen[r], needle) >= 0) return static_cast<int>(r);
    }
    return -1;
}

int countRows(const Screen& screen, const std::string& needle) {
    int count = 0;
    for (const Row& row : screen) count += findInRow(row, needle) >= 0 ? 1 : 0;
    return count;
}

// True when every cell of the needle's first occurrence in the row has that colour.
bool shownInColor(const Row& row, const std::string& needle, int color) {
    int at = findInRow(row, needle);
    if (at < 0) return false;
    for (size_t k = 0; k < needle.size(); ++k) {
        if (classicColor(row[static_cast<size_t>(at) + k]) != color) return false;
    }
    return true;
}

bool rowIsBlank(const Row& row) {
    for (const PaneCell& cell : row) {
        if (cell.glyph != " ") return false;
    }
    return true;
}

// True when nothing holds the chat port, so a server started now gets it and a client finds no other.
bool chatPortIsFree() {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ChatPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    bool free = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return free;
}

// Another test run on this machine (outside this suite's lock) may still hold the port for a while.
bool waitForFreeChatPort() {
    Clock::time_point end = Clock::now() + std::chrono::seconds(120);
    while (!chatPortIsFree()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

class ClientTerminal : public ::testing::Test {
protected:
    std::string dir_;
    // Each program in a pane (and a tmux server) of its own, by name: "server", "alice", "bob".
    std::map<std::string, TmuxPane> panes_;
    bool focusEvents_ = false;

    void SetUp() override {
        char pattern[] = "/tmp/chat-client-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_EQ(enet_initialize(), 0);
    }

    void TearDown() override {
        panes_.clear();
        std::system(("rm -rf " + shellQuote(dir_)).c_str());
        enet_deinitialize();
    }

    void startSession(const std::string& name, const std::string& command) {
        TmuxPane& pane = panes_[name];
        pane.clipboard = true;
        pane.focusEvents = focusEvents_;
        ASSERT_TRUE(startTmuxPane(pane, "chat-client-e2e-" + name, command));
    }

    // The server in its own pane, up once it says so.
    void startServer() {
        ASSERT_TRUE(waitForFreeChatPort());
        startSession("server", std::string(CHAT_BUILD_DIR) + "/chat-server");
        ASSERT_TRUE(waitFor("server", [](const Screen& s) { return findRow(s, "Server Running.") >= 0; }));
    }

    // A client in its own pane; the shell around it keeps the exit status and the terminal settings
    // from before and after, and keeps the pane open afterwards.
    void startClient(const std::string& name) {
        std::string base = dir_ + "/" + name;
        std::string script = "stty -a > " + base + ".before; " + CHAT_BUILD_DIR + "/chat-client; echo $? > " +
                             base + ".status; stty -a > " + base + ".after; exec sleep 600";
        startSession(name, "sh -c " + shellQuote(script));
        ASSERT_TRUE(waitFor(name, [](const Screen& s) { return findRow(s, "Enter ip to connect to? ") >= 0; }));
    }

    // A client that answers the prompt with Enter alone and waits for its welcome.
    void startConnectedClient(const std::string& name) {
        startClient(name);
        sendKeys(name, "Enter");
        ASSERT_TRUE(waitFor(name, [](const Screen& s) { return findRow(s, " connected =)") >= 0; }));
    }

    void typeText(const std::string& name, const std::string& text) { ::typeText(panes_[name], text); }
    void sendKeys(const std::string& name, const std::string& keys) { ::sendKeys(panes_[name], keys); }
    Screen capture(const std::string& name) { return capturePaneCells(panes_[name]); }

    bool waitFor(const std::string& name, const std::function<bool(const Screen&)>& ready, int seconds = 10) {
        if (waitForPaneCells(panes_[name], ready, seconds * 1000)) return true;
        // Shows what the pane held, to explain the failure that follows.
        for (const Row& row : capture(name)) std::cerr << name << "| " << rowText(row) << "\n";
        return false;
    }

    bool waitForFile(const std::string& path, int seconds = 10) {
        Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            if (!readFile(path).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    std::string exitStatus(const std::string& name) {
        std::string path = dir_ + "/" + name + ".status";
        return waitForFile(path) ? readFile(path) : std::string("none");
    }
};

std::function<bool(const Screen&)> shows(const std::string& text) {
    return [text](const Screen& s) { return findRow(s, text) >= 0; };
}

std::function<bool(const Screen&)> inputRowStartsWith(const std::string& text) {
    return [text](const Screen& s) { return s.size() == 25 && rowText(s[24]).rfind(text, 0) == 0; };
}

std::function<bool(const Screen&)> inputRowBlank() {
    return [](const Screen& s) { return s.size() == 25 && rowIsBlank(s[24]); };
}

TEST_F(ClientTerminal, ConnectsShowsWelcomeAndRelaysLines) {
    startServer();
    startClient("alice");
    Screen prompt = capture("alice");
    EXPECT_EQ(rowText(prompt[0]).substr(0, 24), "Enter ip to connect to? ");
    sendKeys("alice", "Enter");
    ASSERT_TRUE(waitFor("alice", shows("* Anonymous0 connected =)")));

    Screen screen = capture("alice");
    int connected = findRow(screen, "Now connected");
    ASSERT_GE(connected, 1);
    const Row& whisper = screen[static_cast<size_t>(connected) + 1];
    EXPECT_EQ(rowText(whisper).substr(0, 38), "Lobby whispers: Welcome to the lobby!");
    EXPECT_TRUE(shownInColor(whisper, "Lobby whispers", 13));
    EXPECT_TRUE(shownInColor(whisper, ": Welcome to the lobby!", 7));
    EXPECT_TRUE(shownInColor(screen[static_cast<size_t>(connected) + 2], "* Anonymous0 connected =)", 14));

    startConnectedClient("bob");
    ASSERT_TRUE(waitFor("alice", shows("* Anonymous1 connected =)")));

    typeText("alice", "hi");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> hi_")));
    Screen typed = capture("alice");
    EXPECT_TRUE(shownInColor(typed[24], "> hi_", 2));
    sendKeys("alice", "BSpace");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> h_ ")));
    typeText("alice", "ello there");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> hello there_")));
    sendKeys("alice", "Enter");
    ASSERT_TRUE(waitFor("alice", inputRowBlank()));

    for (const char* name : {"alice", "bob"}) {
        ASSERT_TRUE(waitFor(name, shows("Anonymous0: hello there"))) << name;
        Screen s = capture(name);
        const Row& line = s[static_cast<size_t>(findRow(s, "Anonymous0: hello there"))];
        EXPECT_TRUE(shownInColor(line, "Anonymous0", 15)) << name;
        EXPECT_TRUE(shownInColor(line, ": hello there", 7)) << name;
    }
}

TEST_F(ClientTerminal, RenamesAndListsTheLobby) {
    startServer();
    startConnectedClient("alice");
    startConnectedClient("bob");

    typeText("alice", "/name Alice");
    sendKeys("alice", "Enter");
    for (const char* name : {"alice", "bob"}) {
        ASSERT_TRUE(waitFor(name, shows("* Anonymous0 is now known as Alice"))) << name;
        Screen s = capture(name);
        EXPECT_TRUE(shownInColor(s[static_cast<size_t>(findRow(s, "is now known as"))],
                                 "* Anonymous0 is now known as Alice", 14));
    }

    typeText("alice", "/who");
    sendKeys("alice", "Enter");
    ASSERT_TRUE(waitFor("alice", shows("Anonymous1 (#1, ")));
    Screen s = capture("alice");
    int header = findRow(s, "Lobby whispers: Chatters:");
    ASSERT_GE(header, 0);
    EXPECT_TRUE(shownInColor(s[static_cast<size_t>(header)], "Lobby whispers", 13));
    EXPECT_TRUE(shownInColor(s[static_cast<size_t>(header)], ": Chatters:", 7));
    EXPECT_EQ(rowText(s[static_cast<size_t>(header) + 1]).rfind("Alice (#0, ", 0), 0u);
    EXPECT_EQ(rowText(s[static_cast<size_t>(header) + 2]).rfind("Anonymous1 (#1, ", 0), 0u);
    // The list's last line end and the display's own leave an empty row under it.
    EXPECT_TRUE(rowIsBlank(s[static_cast<size_t>(header) + 3]));
    EXPECT_EQ(findRow(capture("bob"), "Chatters:"), -1);
}

TEST_F(ClientTerminal, LongLineGoesOutWithoutEnterAndKeepsTheNextKey) {
    startServer();
    startConnectedClient("alice");
    std::string line;
    for (int i = 0; i < 71; ++i) line += static_cast<char>('a' + i % 26);
    // The two keys after the 71st start the next line: none is lost to the automatic send.
    typeText("alice", line + "yz");
    ASSERT_TRUE(waitFor("alice", shows("Anonymous0: " + line.substr(0, 60))));
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> yz_")));
    Screen s = capture("alice");
    int row = findRow(s, "Anonymous0: ");
    // 12 + 71 characters wrap onto a second row.
    EXPECT_EQ(rowText(s[static_cast<size_t>(row)]) + rowText(s[static_cast<size_t>(row) + 1]).substr(0, 3),
              "Anonymous0: " + line);
    sendKeys("alice", "Enter");
    ASSERT_TRUE(waitFor("alice", shows("Anonymous0: yz")));
}

TEST_F(ClientTerminal, EscEndsTheClientAndRestoresTheTerminal) {
    startServer();
    startConnectedClient("alice");
    startConnectedClient("bob");
    typeText("alice", "unsent");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> unsent_")));
    sendKeys("alice", "Escape");
    EXPECT_EQ(exitStatus("alice"), "0\n");
    ASSERT_TRUE(waitForFile(dir_ + "/alice.after"));
    EXPECT_EQ(readFile(dir_ + "/alice.before"), readFile(dir_ + "/alice.after"));
    ASSERT_TRUE(waitFor("bob", shows("* Anonymous0 disconnected =(")));
    Screen s = capture("bob");
    EXPECT_TRUE(shownInColor(s[static_cast<size_t>(findRow(s, "disconnected =("))], "* Anonymous0 disconnected =(", 14));
    EXPECT_EQ(findRow(s, "unsent"), -1);
}

TEST_F(ClientTerminal, WithoutServerStillTakesKeysAndQuits) {
    ASSERT_TRUE(waitForFreeChatPort());
    startClient("alice");
    sendKeys("alice", "Enter");
    typeText("alice", "abc");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> abc_")));
    sendKeys("alice", "Enter");
    ASSERT_TRUE(waitFor("alice", inputRowBlank()));
    // Backspace on the empty line changes nothing; the next key brings the prompt back.
    sendKeys("alice", "BSpace");
    typeText("alice", "q");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> q_ ")));
    sendKeys("alice", "Escape");
    EXPECT_EQ(exitStatus("alice"), "0\n");
    EXPECT_EQ(findRow(capture("alice"), "connected"), -1);
}

TEST_F(ClientTerminal, KeysTypedWithTheAddressAreDiscarded) {
    startServer();
    startClient("alice");
    sendKeys("alice", "Enter abc");
    ASSERT_TRUE(waitFor("alice", shows("* Anonymous0 connected =)")));
    typeText("alice", "x");
    EXPECT_TRUE(waitFor("alice", inputRowStartsWith("> x_")));
}

TEST_F(ClientTerminal, UnresolvableAddressEndsWithTheErrorLines) {
    startClient("alice");
    typeText("alice", "127.0.0.1:5000");
    sendKeys("alice", "Enter");
    EXPECT_EQ(exitStatus("alice"), "1\n");
    Screen s = capture("alice");
    int row = findRow(s, "Could not resolve the address 127.0.0.1:5000.");
    ASSERT_GE(row, 0);
    EXPECT_EQ(findRow(s, "Exiting due to error."), row + 1);
}

TEST_F(ClientTerminal, ServerGoingAwayIsShownOnceEnetGivesUp) {
    startServer();
    startConnectedClient("alice");
    sendKeys("server", "Escape");
    ASSERT_TRUE(waitFor("server", shows("Hit any key.")));
    sendKeys("server", "x");
    // ENet gives a silent server up after its timeouts, up to about half a minute.
    ASSERT_TRUE(waitFor("alice", shows("Client informationdisconected."), 60));
    EXPECT_EQ(countRows(capture("alice"), "disconected."), 1);
    typeText("alice", "still here");
    EXPECT_TRUE(waitFor("alice", inputRowStartsWith("> still here_")));
}

// Each of these, relayed to a client, would act on a terminal that took it as a command.
const Text HostileLines[] = {
    "\x1b[2J\x1b[H cleared",
    "\x1b[5;10H moved",
    "\x1b]0;owned title\x07 titled",
    "\x1b]52;c;b3duZWQ=\x07 clipboard",
    "\x1bP$qm\x1b\\ dcs",
    "\xc2\x9b" "2J\xc2\x9b" "H c1",
    "\xc2\x9d" "0;c1 title\xc2\x9c osc",
    "\x9b" "6n raw",
    "\x1b[6n status",
    "\x1b[c attributes",
    "\x1b[21t title report",
};

TEST_F(ClientTerminal, NetworkBytesNeverActOnTheTerminal) {
    startServer();
    startConnectedClient("alice");
    std::string title = paneFormat(panes_["alice"], "#{pane_title}");
    Screen before = capture("alice");
    int connected = findRow(before, "Now connected");

    ChatTestClient mallory;
    ASSERT_TRUE(startTestClient(mallory, "127.0.0.1", ChatPort));
    ASSERT_TRUE(waitForConnection(mallory, 10000) && mallory.connected);
    drainTestClient(mallory, 300);  // the server counts it once its acknowledgement has left
    ASSERT_TRUE(waitFor("alice", shows("* Anonymous1 connected =)")));
    for (const Text& line : HostileLines) sendTestText(mallory, "SAY " + line);
    sendTestText(mallory, "SAY the end");
    ASSERT_TRUE(waitFor("alice", shows("Anonymous1: the end")));

    Screen s = capture("alice");
    EXPECT_EQ(findRow(s, "Now connected"), connected);
    int first = findRow(s, "Anonymous1: ");
    ASSERT_GT(first, connected);
    const std::string endings[] = {" cleared", " moved", " titled", " clipboard", " dcs", " c1",
                                   " osc", " raw", " status", " attributes", " title report"};
    for (size_t i = 0; i < sizeof endings / sizeof endings[0]; ++i) {
        const Row& row = s[static_cast<size_t>(first) + i];
        EXPECT_EQ(findInRow(row, "Anonymous1: "), 0) << i;
        EXPECT_GT(findInRow(row, endings[i]), 12) << i;
    }
    EXPECT_EQ(paneFormat(panes_["alice"], "#{pane_title}"), title);
    EXPECT_EQ(tmuxOutput(panes_["alice"], "list-buffers") + tmuxOutput(panes_["server"], "list-buffers"), "");
    EXPECT_TRUE(rowIsBlank(s[24]));

    // Nothing was typed into the client: its next line goes out exactly as typed.
    typeText("alice", "ok");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> ok_")));
    sendKeys("alice", "Enter");
    ASSERT_TRUE(waitFor("alice", shows("Anonymous0: ok")));
    drainTestClient(mallory, 500);
    std::vector<Text> fromAlice;
    for (const Text& text : receivedTexts(mallory)) {
        if (text.rfind("SAY Anonymous0 ", 0) == 0) fromAlice.push_back(text);
    }
    EXPECT_EQ(fromAlice, std::vector<Text>{"SAY Anonymous0 ok"});
    stopTestClient(mallory);
}

// What a person meets in the first minutes, with tmux's focus events off and on (a detached pane is
// then told it has lost the focus).
class ClientAtTheTerminal : public ClientTerminal, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        focusEvents_ = GetParam();
        ClientTerminal::SetUp();
    }
};

INSTANTIATE_TEST_SUITE_P(FocusEvents, ClientAtTheTerminal, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

// Esc at the address prompt only clears the answer; one typed with the Enter that ends it is discarded
// with the other waiting keys. Neither ends the chat before it starts.
TEST_P(ClientAtTheTerminal, EscBeforeTheChatNeverEndsIt) {
    startClient("alice");
    typeText("alice", "10.9.8.7");
    ASSERT_TRUE(waitFor("alice", shows("? 10.9.8.7")));
    sendKeys("alice", "Escape");
    ASSERT_TRUE(waitFor("alice", [](const Screen& s) { return findRow(s, "10.9.8.7") < 0; }));
    sendKeys("alice", "Enter Escape");
    // A person's next key comes well after the lone Esc's 30 ms wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    typeText("alice", "x");
    ASSERT_TRUE(waitFor("alice", inputRowStartsWith("> x_")));
    sendKeys("alice", "Escape");
    EXPECT_EQ(exitStatus("alice"), "0\n");
}

// Keys typed ahead past the 511 that wait drop the oldest, so an Esc behind a long paste is seen at
// once: the client ends before a line of the paste could go out.
TEST_P(ClientAtTheTerminal, EscBehindALongPasteEndsAtOnceAndSendsNothing) {
    startServer();
    startConnectedClient("alice");
    typeText("alice", std::string(1500, 'p'));
    sendKeys("alice", "Escape");
    EXPECT_EQ(exitStatus("alice"), "0\n");
    ASSERT_TRUE(waitFor("server", shows("Cli0 disconnected.")));
    EXPECT_EQ(findRow(capture("server"), "SAY Anonymous0"), -1);
}

}  // namespace
