// The console's output operations in a real process whose output is a file: the text's bytes go out
// unchanged with CR LF line ends and no escape sequence, while the layer still keeps its 80 by 25 screen.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <sstream>
#include <string>
#include <unistd.h>

#include "tests/support/tmux_pane.h"

namespace {

struct ProbeRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

ProbeRun runProbe(const std::string& mode) {
    std::string base = std::string(CHAT_BUILD_DIR) + "/console_output_probe_" + mode + "_" + std::to_string(getpid());
    std::string command = std::string(CHAT_BUILD_DIR) + "/console_output_probe " + mode + " </dev/null >" + base +
                          ".out 2>" + base + ".err";
    ProbeRun run;
    int result = std::system(command.c_str());
    run.status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    run.out = readFile(base + ".out");
    run.err = readFile(base + ".err");
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    return run;
}

std::string dumpRow(const std::string& dump, int row) {
    std::istringstream lines(dump);
    std::string line;
    for (int i = 0; i < row; i++) std::getline(lines, line);
    return line;
}

TEST(ConsoleOutputTest, FileGetsTheBytesUnchanged) {
    ProbeRun run = runProbe("basic");
    EXPECT_EQ(run.status, 0);
    std::string expected = "abc" + std::string("\x1b]0;t\x07\x00\xff", 7) + "\r\n" + "\r\n" +
                           std::string(80, 'x') + "\r\n" + "tail\ttab\b\r\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.out.find("\x1b["), std::string::npos);
}

TEST(ConsoleOutputTest, FileOutputStillKeepsTheScreen) {
    ProbeRun run = runProbe("basic");
    ASSERT_EQ(run.err.substr(0, 6), "row 9\n");
    std::string dump = run.err.substr(6);
    // Row 1: abc, then the escape's bytes as glyphs in cells, in colour 14 on black.
    EXPECT_EQ(dumpRow(dump, 1).substr(0, 10), "abc←]0;t");
    EXPECT_EQ(dumpRow(dump, 6), std::string(80, 'x') + "|" + std::string(80, 'e') + "|" + std::string(80, '0'));
    EXPECT_EQ(dumpRow(dump, 8).substr(0, 16), "tail    tab     ");
    EXPECT_NE(dump.find("cursor 9,1\n"), std::string::npos);
}

TEST(ConsoleOutputTest, LongOutputGoesOutWhole) {
    ProbeRun run = runProbe("all");
    std::string all;
    for (int round = 0; round < 12; round++) {
        for (int byte = 0; byte < 256; byte++) all.push_back(static_cast<char>(byte));
    }
    EXPECT_EQ(run.out, all + "end\r\n");
    EXPECT_EQ(run.status, 0);
}

TEST(ConsoleOutputTest, EndProgramGivesItsStatusAndPrintsNothing) {
    ProbeRun run = runProbe("exit");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

// The classic text-mode colour for each terminal colour index (red and blue trade places).
const int PcColorOfAnsiIndex[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

// The same row of the layer's own dump: characters, then a foreground and a background digit per cell.
PaneRow parseDumpRow(const std::string& row) {
    PaneCell pen;
    size_t bar = row.rfind('|', row.rfind('|') - 1);
    PaneRow cells = parseCapturedLine(row.substr(0, bar), &pen);
    std::string foregrounds = row.substr(bar + 1, cells.size());
    std::string backgrounds = row.substr(bar + 2 + cells.size());
    for (size_t i = 0; i < cells.size() && i < foregrounds.size() && i < backgrounds.size(); i++) {
        auto digit = [](char c) { return c == '.' ? -1 : (c <= '9' ? c - '0' : c - 'a' + 10); };
        cells[i].foreground = digit(foregrounds[i]);
        cells[i].background = digit(backgrounds[i]);
    }
    return cells;
}

bool waitForFileText(const std::string& path, const std::string& text) {
    for (int attempt = 0; attempt < 200; attempt++) {
        if (readFile(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The whole layer in a real terminal: tmux shows what the layer's own screen holds, cell by cell with
// colours, and filling the bottom-right cell did not scroll.
TEST(ConsoleOutputTest, TerminalShowsTheLayersScreen) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    std::string base = std::string(CHAT_BUILD_DIR) + "/chat-output-" + std::to_string(getpid());
    TmuxPane pane;
    pane.locale = "C.UTF-8";
    ASSERT_TRUE(startTmuxPane(pane, "chat-output",
                              "exec " + std::string(CHAT_BUILD_DIR) + "/console_output_probe terminal 2>" + base + ".err"));
    bool reported = waitForFileText(base + ".err", "cursor ");
    PaneScreen screen = capturePaneCells(pane);
    stopTmuxPane(pane);
    std::string report = readFile(base + ".err");
    std::remove((base + ".err").c_str());
    ASSERT_TRUE(reported) << report;

    std::string dump = report.substr(report.find('\n') + 1);
    EXPECT_EQ(report.substr(0, 7), "row 25\n");
    EXPECT_EQ(dumpRow(dump, 1).substr(0, 25), "plain green ←[31m☺█");
    EXPECT_NE(dump.find("cursor 25,10\n"), std::string::npos);
    EXPECT_EQ(dumpRow(dump, 23).substr(0, 81), "er" + std::string(78, ' ') + "|");
    for (int row = 1; row <= 25; row++) {
        size_t index = static_cast<size_t>(row - 1);
        PaneRow shown = index < screen.size() ? screen[index] : PaneRow();
        // tmux leaves out the cells nobody wrote at the end of a row: blanks in the terminal's colours.
        if (shown.size() < 80) shown.resize(80, PaneCell{" "});
        PaneRow expected = parseDumpRow(dumpRow(dump, row));
        ASSERT_EQ(shown.size(), 80u) << "row " << row << ": " << rowText(shown);
        ASSERT_EQ(expected.size(), 80u) << "row " << row;
        for (int column = 0; column < 80; column++) {
            const PaneCell& cell = shown[static_cast<size_t>(column)];
            const PaneCell& want = expected[static_cast<size_t>(column)];
            int foreground = cell.foreground < 0 ? -1 : PcColorOfAnsiIndex[cell.foreground & 15];
            int background = cell.background < 0 ? -1 : PcColorOfAnsiIndex[cell.background & 15];
            EXPECT_TRUE(cell.glyph == want.glyph && foreground == want.foreground && background == want.background)
                << "row " << row << " column " << column + 1 << ": shown '" << cell.glyph << "' " << foreground
                << "/" << background << ", layer '" << want.glyph << "' " << want.foreground << "/"
                << want.background;
        }
    }
}

}  // namespace
