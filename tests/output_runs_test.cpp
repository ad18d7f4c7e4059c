// The console's output runs: consecutive output operations go out together in writes of at most 1024
// bytes, and whatever waits is written before the program waits, reads keys or ends, on every way out,
// including Ctrl+C and crash signals (before the terminal's restore string when it is a terminal).
// Write boundaries are seen through a SOCK_SEQPACKET socket as standard output: one message per write.
#include "common/console/console.h"
#include "common/console/console_internal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string Probe = std::string(CHAT_BUILD_DIR) + "/output_runs_probe";
constexpr std::size_t RunSize = 1024;

// The pieces the probe's script hands to the console, one per print and per line end.
std::vector<std::string> scriptPieces() {
    std::vector<std::string> pieces;
    for (int line = 1; line <= 40; line++) {
        pieces.push_back("line ");
        pieces.push_back(std::to_string(line));
        pieces.push_back(" of the script, long enough to matter");
        pieces.push_back("\r\n");
    }
    pieces.push_back("last words");
    return pieces;
}

// The fewest writes the rule allows: each run is filled until the next piece would pass 1024 bytes.
std::vector<std::string> expectedRuns(const std::vector<std::string>& pieces) {
    std::vector<std::string> runs(1);
    for (const std::string& piece : pieces) {
        if (runs.back().size() + piece.size() > RunSize) runs.emplace_back();
        runs.back() += piece;
    }
    return runs;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string all;
    for (const std::string& part : parts) all += part;
    return all;
}

// Takes every message waiting on the socket without blocking.
void receiveWaiting(int fd, std::vector<std::string>* messages) {
    char buffer[4096];
    for (;;) {
        ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) return;
        messages->emplace_back(buffer, static_cast<std::size_t>(n));
    }
}

struct ProbeRun {
    std::vector<std::string> writes;  // what the probe wrote, one entry per write
    int status = 0;
};

// Runs the probe with its output on a message socket and its keys on a pipe that stays open. A probe
// that sleeps after its operation is killed with SIGKILL (which no handler can catch) once its script
// has arrived, or after 10 s.
ProbeRun runProbeOnSocket(const std::string& way, bool sleepsAfter) {
    int sockets[2], keys[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
    EXPECT_EQ(pipe(keys), 0);
    pid_t child = fork();
    if (child == 0) {
        dup2(keys[0], 0);
        dup2(sockets[1], 1);
        execl(Probe.c_str(), Probe.c_str(), way.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(sockets[1]);
    close(keys[0]);
    ProbeRun run;
    std::size_t wanted = joined(scriptPieces()).size();
    for (int waited = 0; sleepsAfter && waited < 1000 && joined(run.writes).size() < wanted; waited++) {
        pollfd p = {sockets[0], POLLIN, 0};
        poll(&p, 1, 10);
        receiveWaiting(sockets[0], &run.writes);
    }
    if (sleepsAfter) kill(child, SIGKILL);
    waitpid(child, &run.status, 0);
    receiveWaiting(sockets[0], &run.writes);
    close(sockets[0]);
    close(keys[1]);
    return run;
}

struct WayOut {
    const char* way;
    int signal;  // the signal the probe dies of, 0 for a normal exit
};

void PrintTo(const WayOut& out, std::ostream* os) { *os << out.way; }

class OutputRunsWayOut : public ::testing::TestWithParam<WayOut> {};

TEST_P(OutputRunsWayOut, EverythingArrivesInTheFewestRuns) {
    const WayOut& out = GetParam();
    ProbeRun run = runProbeOnSocket(out.way, false);
    if (out.signal == 0) {
        ASSERT_TRUE(WIFEXITED(run.status));
        EXPECT_EQ(WEXITSTATUS(run.status), 0);
    } else {
        ASSERT_TRUE(WIFSIGNALED(run.status));
        EXPECT_EQ(WTERMSIG(run.status), out.signal);
    }
    EXPECT_EQ(run.writes, expectedRuns(scriptPieces()));
}

INSTANTIATE_TEST_SUITE_P(Ways, OutputRunsWayOut,
                         ::testing::Values(WayOut{"return", 0}, WayOut{"end", 0}, WayOut{"sigint", SIGINT},
                                           WayOut{"sigterm", SIGTERM}, WayOut{"segv", SIGSEGV}),
                         [](const ::testing::TestParamInfo<WayOut>& info) { return std::string(info.param.way); });

// The operations that wait or read keys send what waits first: the probe then sleeps and is killed
// with SIGKILL, so only bytes written before that can arrive.
TEST(OutputRuns, WaitingAndKeyOperationsSendTheWaitingRun) {
    for (const char* way : {"pause", "pollKey", "isKeyDown"}) {
        SCOPED_TRACE(way);
        ProbeRun run = runProbeOnSocket(way, true);
        EXPECT_EQ(run.writes, expectedRuns(scriptPieces()));
    }
}

// Reads what the terminal side of a pseudo-terminal receives until the probe has gone.
std::string runProbeOnTerminal(const std::string& way, int* status) {
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        execl(Probe.c_str(), Probe.c_str(), way.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string bytes;
    char buffer[4096];
    for (int idle = 0; idle < 500;) {  // bounded: 5 s without a byte ends it
        pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) {
            idle++;
            if (waitpid(child, status, WNOHANG) == child) break;
            continue;
        }
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // the probe is gone and the terminal hung up
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    if (waitpid(child, status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, status, 0);
    }
    close(master);
    return bytes;
}

// In a real terminal the last text still reaches the screen, and before the string that restores the
// terminal's modes, however the program ends.
TEST(OutputRuns, InATerminalTheWaitingRunPrecedesTheRestore) {
    const std::string restore = "\x1b[?1004l";
    for (const char* way : {"return", "end", "sigint", "sigterm", "segv"}) {
        SCOPED_TRACE(way);
        int status = 0;
        std::string bytes = runProbeOnTerminal(way, &status);
        std::size_t last = bytes.rfind("last words");
        std::size_t restored = bytes.rfind(restore);
        ASSERT_NE(last, std::string::npos);
        ASSERT_NE(restored, std::string::npos);
        EXPECT_LT(last, restored);
        EXPECT_NE(bytes.find("line 40 of the script"), std::string::npos);
    }
}

// In-process: the bytes of consecutive operations wait together until flushConsole or pause.
class OutputRunsInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
        flushConsole();
        std::fflush(stdout);
        savedStdout = dup(1);
        dup2(sockets[1], 1);
    }
    void TearDown() override {
        flushConsole();
        dup2(savedStdout, 1);
        close(savedStdout);
        close(sockets[0]);
        close(sockets[1]);
    }
    std::vector<std::string> waiting() {
        std::vector<std::string> messages;
        receiveWaiting(sockets[0], &messages);
        return messages;
    }
    int sockets[2] = {-1, -1};
    int savedStdout = -1;
};

TEST_F(OutputRunsInProcess, AThreeLineTraceIsOneWrite) {
    const std::string divider(75, '-');
    printLine(divider);
    print("DATA TO SEND:           ");
    printLine("SAY Ann hello");
    print("DATA ENET WANTS TO SEND:");
    printLine("SAY Ann hello");
    std::vector<std::string> before = waiting();
    flushConsole();
    std::vector<std::string> after = waiting();
    EXPECT_TRUE(before.empty());
    std::vector<std::string> expected = {divider + "\r\nDATA TO SEND:           SAY Ann hello\r\n"
                                         "DATA ENET WANTS TO SEND:SAY Ann hello\r\n"};
    EXPECT_EQ(after, expected);
}

TEST_F(OutputRunsInProcess, PauseSendsWhatWaitsAndLongTextsGoInRuns) {
    std::string text(2500, 'x');
    print(text);
    std::vector<std::string> full = waiting();  // runs that filled up went out at once
    pause(1);
    std::vector<std::string> all = full;
    for (const std::string& message : waiting()) all.push_back(message);
    EXPECT_EQ(full, (std::vector<std::string>{std::string(1024, 'x'), std::string(1024, 'x')}));
    EXPECT_EQ(all.size(), 3u);
    EXPECT_EQ(joined(all), text);
}

}  // namespace
