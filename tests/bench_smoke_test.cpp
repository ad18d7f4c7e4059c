// A smoke run of chat-bench against the real chat-server and chat-client: the tool must run to its end
// by itself and print its table with every chatter joined, its console in a pipe and in a tmux pane.
// No figure's value is checked: speed is for the benchmark itself.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct BenchRun {
    int status = -1;
    std::string output;
};

BenchRun runBench(const std::string& arguments) {
    std::string build = CHAT_BUILD_DIR;
    std::string command = build + "/chat-bench --smoke --server " + build + "/chat-server " + arguments +
                          " </dev/null 2>&1";
    BenchRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The value in one column of a table row: 1 for the server, 2 for the baseline.
std::string column(const std::string& output, const std::string& label, int index) {
    size_t at = output.find("\n" + label);
    if (at == std::string::npos) return "";
    size_t end = output.find('\n', at + 1);
    std::string rest = output.substr(at + 1 + label.size(), end - at - 1 - label.size());
    size_t start = 0;
    std::string word;
    for (int i = 0; i < index; ++i) {
        start = rest.find_first_not_of(' ', start);
        size_t stop = rest.find(' ', start);
        if (start == std::string::npos) return "";
        word = rest.substr(start, stop - start);
        start = stop;
    }
    return word;
}

void expectTable(const BenchRun& run, bool withBaseline) {
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("chat-bench: 5 chatters on 127.0.0.1"), std::string::npos) << run.output;
    EXPECT_EQ(column(run.output, "chatters joined", 1), "5") << run.output;
    if (withBaseline) {
        EXPECT_EQ(column(run.output, "chatters joined", 2), "5") << run.output;
    }
    for (const char* label : {"relay back to sender, median (ms)", "saturation, relayed lines/s",
                              "WHO reply, median (ms)", "idle CPU, % of one core", "peak memory VmHWM (KiB)"})
        EXPECT_NE(column(run.output, label, 1), "-") << label << "\n" << run.output;
}

TEST(BenchSmoke, ConsoleToAPipeWithTheBaseline) {
    BenchRun run = runBench("--baseline");
    EXPECT_NE(run.output.find("server (console to pipe)"), std::string::npos) << run.output;
    expectTable(run, true);
    EXPECT_NE(column(run.output, "chat-client idle CPU, % of one core", 1), "-") << run.output;
}

TEST(BenchSmoke, ConsoleInATmuxPane) {
    BenchRun run = runBench("--console tmux --client none");
    EXPECT_NE(run.output.find("server (console in tmux)"), std::string::npos) << run.output;
    expectTable(run, false);
}

// Each stress option, short: it must end by itself and print its own figures and the common ones,
// whatever the server it measures does.
TEST(BenchSmoke, StressOptionsEndAndPrintTheirFigures) {
    struct Row { std::string arguments; std::vector<std::string> texts; };
    std::vector<Row> rows = {
        {"--silent-peer 2", {"silent peer's OLD at the others:", "newcomer, "}},
        {"--slow-reader 2", {"slow reader cut off (its disconnect):"}},
        {"--tiny-packets 0.3", {"empty packets from 1 chatter (1 joined)", "1-byte packets from 24 chatters (24 joined)",
                                "empty lines (\"SAY \") from 24 chatters"}},
        {"--half-open 1", {"1 half-open connects from one socket, sent once", "resent every 500 ms"}},
        {"--first-line 2", {"idle lobby: first line back", "busy lobby: first line back"}},
        {"--abrupt-leaver 1", {"1 rounds, 1 joined"}},
    };
    for (const Row& row : rows) {
        BenchRun run = runBench(row.arguments);
        EXPECT_EQ(run.status, 0) << row.arguments << "\n" << run.output;
        for (const std::string& text : row.texts) EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
        EXPECT_NE(run.output.find("others' longest silence"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("server peak -1 KiB"), std::string::npos) << run.output;
    }
}

}  // namespace
