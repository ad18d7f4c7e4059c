// The real chat-server program on port 42069: its lifecycle through pipes (keys in, console bytes out),
// the port-taken path, forged fragments against the running process, and a run in a real terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "tests/support/chat_test_client.h"
#include "tests/support/fragment_forger.h"
#include "tests/support/tmux_pane.h"

namespace {

const std::string ServerPath = CHAT_BUILD_DIR "/chat-server";
const std::string Divider(75, '-');

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string trace(const std::string& text) {
    return Divider + "\r\n" + "DATA TO SEND:           " + text + "\r\n" + "DATA ENET WANTS TO SEND:" + text + "\r\n";
}

// chat-server with its keys fed through one pipe and its console read from another.
struct ServerProcess {
    pid_t pid = -1;
    int keys = -1;
    int console = -1;
    std::string output;
    int status = -1;
};

bool startServer(ServerProcess& server) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return false;
    server.pid = fork();
    if (server.pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(in[1]);
        close(out[0]);
        execl(ServerPath.c_str(), "chat-server", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    server.keys = in[1];
    server.console = out[0];
    fcntl(server.console, F_SETFL, O_NONBLOCK);
    return server.pid > 0;
}

void readConsole(ServerProcess& server) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(server.console, buffer, sizeof buffer)) > 0) server.output.append(buffer, n);
}

bool waitForOutput(ServerProcess& server, const std::string& text, int maxMs = 5000) {
    long long end = nowMs() + maxMs;
    while (server.output.find(text) == std::string::npos && nowMs() < end) {
        readConsole(server);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return server.output.find(text) != std::string::npos;
}

bool waitForExit(ServerProcess& server, int maxMs = 5000) {
    long long end = nowMs() + maxMs;
    while (nowMs() < end) {
        readConsole(server);
        if (waitpid(server.pid, &server.status, WNOHANG) == server.pid) {
            readConsole(server);
            server.pid = -1;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void pressKeys(ServerProcess& server, const std::string& keys) {
    ssize_t written = write(server.keys, keys.data(), keys.size());
    (void)written;
}

// Ends a server a failed test left running.
void stopServer(ServerProcess& server) {
    if (server.keys >= 0) close(server.keys);
    server.keys = -1;
    if (server.pid > 0 && !waitForExit(server, 2000)) {
        kill(server.pid, SIGKILL);
        waitpid(server.pid, &server.status, 0);
    }
    if (server.console >= 0) close(server.console);
    server.console = -1;
}

bool exitedWith(const ServerProcess& server, int status) {
    return WIFEXITED(server.status) && WEXITSTATUS(server.status) == status;
}

class ServerProcessTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(enet_initialize(), 0); }
    void TearDown() override {
        stopTestClient(client);
        stopServer(server);
        stopServer(second);
        enet_deinitialize();
    }
    ServerProcess server, second;
    ChatTestClient client;
};

TEST_F(ServerProcessTest, RunsUntilEscThenWaitsForAKey) {
    ASSERT_TRUE(startServer(server));
    ASSERT_TRUE(waitForOutput(server, "Server Running.\r\n")) << server.output;
    EXPECT_EQ(server.output, "Server starting...\r\nServer Running.\r\n");

    ASSERT_TRUE(startTestClient(client, "127.0.0.1", 42069));
    ASSERT_TRUE(waitForPackets(client, 2, 5000));
    sendTestText(client, "SAY hi");
    ASSERT_TRUE(waitForPackets(client, 3, 5000));
    EXPECT_EQ(receivedTexts(client).back(), "SAY Anonymous0 hi");
    ENetAddress local{};
    enet_socket_get_address(client.host->socket, &local);

    // Keys other than Esc, arrows among them, are read and dropped.
    pressKeys(server, "ab\x1b[A");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    readConsole(server);
    EXPECT_EQ(server.output.find("Cleaning up."), std::string::npos);

    pressKeys(server, "\x1b");
    ASSERT_TRUE(waitForOutput(server, "Hit any key.\r\n"));
    EXPECT_EQ(server.output, "Server starting...\r\nServer Running.\r\n"
                             "Cli0 connected from 16777343:" + std::to_string(local.port) + "\r\n" +
                             trace("WSP Lobby Welcome to the lobby!") + trace("NEW Anonymous0") +
                             trace("SAY Anonymous0 hi") + "Cleaning up.\r\nHit any key.\r\n");
    EXPECT_FALSE(waitForExit(server, 300)) << "it must wait for a key";
    pressKeys(server, "k");
    ASSERT_TRUE(waitForExit(server));
    EXPECT_TRUE(exitedWith(server, 0));
}

TEST_F(ServerProcessTest, PortTakenEndsAtOnceWithStatusOne) {
    ASSERT_TRUE(startServer(server));
    ASSERT_TRUE(waitForOutput(server, "Server Running.\r\n")) << server.output;
    ASSERT_TRUE(startServer(second));
    ASSERT_TRUE(waitForExit(second)) << second.output;
    EXPECT_EQ(second.output, "Server starting...\r\n"
                             "An error occurred while trying to create an ENet server host.\r\n"
                             "Exiting due to error.\r\n");
    EXPECT_TRUE(exitedWith(second, 1));
    // End of input after Esc ends the wait for a key as well.
    pressKeys(server, "\x1b");
    ASSERT_TRUE(waitForOutput(server, "Hit any key.\r\n"));
    close(server.keys);
    server.keys = -1;
    ASSERT_TRUE(waitForExit(server));
    EXPECT_TRUE(exitedWith(server, 0));
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

TEST_F(ServerProcessTest, ForgedFragmentsAndOversizedDatagramsLeaveTheServerServing) {
    ASSERT_TRUE(startServer(server));
    ASSERT_TRUE(waitForOutput(server, "Server Running.\r\n")) << server.output;
    ASSERT_TRUE(startTestClient(client, "127.0.0.1", 42069));
    ASSERT_TRUE(waitForPackets(client, 2, 5000));
    long before = residentKiB(server.pid);
    enet_uint16 first = static_cast<enet_uint16>(nextReliableSequence(client) + 100);
    for (int i = 0; i < 2000; ++i) {
        sendForgedFragment(client, "127.0.0.1", 42069, static_cast<enet_uint16>(first + i), 1000000, 0, 1, "x");
        if (i % 50 == 0) serviceTestClient(client, 1);
    }
    // A datagram too large for ENet's receive buffer makes its service call fail; that is no event.
    std::string oversized(5000, 'z');
    ENetAddress serverAddress{};
    enet_address_set_host(&serverAddress, "127.0.0.1");
    serverAddress.port = 42069;
    ENetBuffer buffer;
    buffer.data = &oversized[0];
    buffer.dataLength = oversized.size();
    enet_socket_send(client.host->socket, &serverAddress, &buffer, 1);
    sendTestText(client, "SAY still here");
    ASSERT_TRUE(waitForPackets(client, 3, 5000));
    EXPECT_EQ(receivedTexts(client).back(), "SAY Anonymous0 still here");
    EXPECT_LT(residentKiB(server.pid) - before, 16 * 1024);
    readConsole(server);
    EXPECT_EQ(server.output.find("Unknown"), std::string::npos);
    EXPECT_EQ(server.output.find("Destroying"), std::string::npos);
    pressKeys(server, "\x1b");
    ASSERT_TRUE(waitForOutput(server, "Hit any key.\r\n"));
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The server in an 80x25 tmux pane, from a shell that records the terminal's settings and the exit
// status around it.
TEST_F(ServerProcessTest, InATerminalEscCleansUpAndAKeyRestoresTheTerminal) {
    char dirTemplate[] = "/tmp/chat-server-tmux-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    TmuxPane pane;
    std::string script = "stty -a > " + dir + "/before; " + ServerPath + "; echo $? > " + dir +
                         "/status; stty -a > " + dir + "/after; sleep 30";
    ASSERT_TRUE(startTmuxPane(pane, "chatsrv", "sh -c " + shellQuote(script)));
    ASSERT_TRUE(waitForPaneText(pane, "Server Running.", 5000)) << capturePaneText(pane);
    sendKeys(pane, "Escape");
    ASSERT_TRUE(waitForPaneText(pane, "Hit any key.", 5000)) << capturePaneText(pane);
    std::string screen = capturePaneText(pane);
    EXPECT_EQ(screen.rfind("Server starting...\nServer Running.\nCleaning up.\nHit any key.\n", 0), 0u) << screen;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(readFile(dir + "/status"), "") << "it must wait for a key";
    sendKeys(pane, "x");
    long long end = nowMs() + 5000;
    while (readFile(dir + "/after").empty() && nowMs() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(readFile(dir + "/status"), "0\n");
    EXPECT_FALSE(readFile(dir + "/before").empty());
    EXPECT_EQ(readFile(dir + "/after"), readFile(dir + "/before"));
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
