// The address prompt in a terminal that does not reflow its rows on a resize but cuts them at the new
// width and keeps the cursor on its row (as xterm does): libvterm on a pseudo-terminal, with the probe
// behind it. After each resize the prompt and the answer stand once, written again over themselves at
// the new width, and what was typed is still read whole.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include <vterm.h>

namespace {

const std::string Probe = std::string(CHAT_BUILD_DIR) + "/console_probe";
constexpr int Rows = 10;

void answerProbe(const char* bytes, size_t length, void* user) {
    (void)!write(*static_cast<int*>(user), bytes, length);  // the terminal's replies: cursor, attributes
}

struct CutTerminal {
    int master = -1;
    pid_t pid = -1;
    VTerm* vt = nullptr;

    // Feeds what the probe writes to the terminal until it has been quiet for 300 ms (at most 5 s).
    void settle() {
        for (int quiet = 0, total = 0; quiet < 300 && total < 5000; total += 20) {
            struct pollfd p = {master, POLLIN, 0};
            char bytes[4096];
            ssize_t n = poll(&p, 1, 20) > 0 ? read(master, bytes, sizeof bytes) : 0;
            if (n > 0) vterm_input_write(vt, bytes, static_cast<size_t>(n));
            quiet = n > 0 ? 0 : quiet + 20;
        }
    }
    std::string row(int index, int width) {
        std::string text;
        for (int column = 0; column < width; ++column) {
            VTermScreenCell cell;
            vterm_screen_get_cell(vterm_obtain_screen(vt), {index, column}, &cell);
            text += cell.chars[0] != 0 ? static_cast<char>(cell.chars[0]) : ' ';
        }
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
    // The rows below the first as the probe should leave them: the text cut at the width.
    std::string expected(const std::string& text, int width) {
        std::string rows;
        for (int i = 1; i < Rows; ++i) {
            std::size_t from = static_cast<std::size_t>((i - 1) * width);
            std::string piece = from < text.size() ? text.substr(from, static_cast<std::size_t>(width)) : "";
            rows += piece.substr(0, piece.find_last_not_of(' ') + 1) + "\n";
        }
        return rows;
    }
    std::string shown(int width) {
        std::string rows;
        for (int i = 1; i < Rows; ++i) rows += row(i, width) + "\n";
        return rows;
    }
    // Feeds the probe's output until the screen shows the text cut at the width (at most 10 s), then
    // until it has been quiet for 300 ms; true when it showed it.
    bool await(const std::string& text, int width) {
        for (int i = 0; i < 500 && shown(width) != expected(text, width); ++i) {
            struct pollfd p = {master, POLLIN, 0};
            char bytes[4096];
            ssize_t n = poll(&p, 1, 20) > 0 ? read(master, bytes, sizeof bytes) : 0;
            if (n > 0) vterm_input_write(vt, bytes, static_cast<size_t>(n));
        }
        settle();
        return shown(width) == expected(text, width);
    }
    void resize(int width) {
        vterm_set_size(vt, Rows, width);
        struct winsize size = {Rows, static_cast<unsigned short>(width), 0, 0};
        ioctl(master, TIOCSWINSZ, &size);
    }
};

TEST(CutTerminalTest, ResizesAtThePromptWriteTheLineAgainOverItself) {
    CutTerminal t;
    struct winsize size = {Rows, 80, 0, 0};
    t.pid = forkpty(&t.master, nullptr, nullptr, &size);
    if (t.pid == 0) {
        execl(Probe.c_str(), "console_probe", "line", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(t.pid, 0);
    t.vt = vterm_new(Rows, 80);
    vterm_set_utf8(t.vt, 1);
    vterm_output_set_callback(t.vt, answerProbe, &t.master);
    vterm_screen_reset(vterm_obtain_screen(t.vt), 1);
    vterm_input_write(t.vt, "$ shell line\r\n", 14);
    const std::string line = "Enter ip to connect to? 192.168.100.200:hello-there";
    // Typed before the probe is in raw mode, the keys would be echoed by the terminal driver.
    ASSERT_TRUE(t.await(line.substr(0, 24), 80)) << t.shown(80);
    ASSERT_EQ(write(t.master, line.data() + 24, line.size() - 24), static_cast<ssize_t>(line.size() - 24));
    ASSERT_TRUE(t.await(line, 80)) << t.shown(80);
    for (int width : {40, 20, 12, 60, 25, 100, 80}) {
        t.resize(width);
        EXPECT_TRUE(t.await(line, width)) << width << " columns:\n" << t.shown(width);
        EXPECT_EQ(t.row(0, width), "$ shell line");
    }
    ASSERT_EQ(write(t.master, "x\r", 2), 2);
    EXPECT_TRUE(t.await(line + "x" + std::string(80 - line.size() - 1, ' ') + "item=[192.168.100.200:hello-therex]", 80))
        << t.shown(80);
    kill(t.pid, SIGKILL);
    waitpid(t.pid, nullptr, 0);
    close(t.master);
    vterm_free(t.vt);
}

}  // namespace
