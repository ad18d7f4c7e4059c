// The Win32 console form where Wine cannot show it through a console: keys from a pipe and the line
// input over them, output that is not a console written unchanged, and the close, log-off and shut-down
// notifications handed to the layer's handler as the system would (Wine never sends them).
#include "common/console/console.h"
#include "common/console/console_internal.h"
#include "common/console/win32/win32_console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <io.h>
#include <string>

namespace {

// The standard output goes to a file while the body runs; returns what was written to it.
template <typename Body>
std::string captured(Body body) {
    std::fflush(stdout);
    FILE* file = std::tmpfile();
    int saved = _dup(1);
    _dup2(_fileno(file), 1);
    body();
    std::fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    std::string bytes;
    std::rewind(file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

// Runs first: the keyboard takes its input handle at the first key operation.
TEST(Win32ConsoleSeamTest, PipedBytesAreKeysAndTheirEndIsTheCloseRequest) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, readEnd));
    const char typed[] = " 10.0.0.1 ,x\r" "\x1b" "q";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd, typed, sizeof typed - 1, &written, nullptr));
    Text item;
    std::string shown = captured([&] { item = inputText("Enter ip"); });
    EXPECT_EQ(item, "10.0.0.1 ");
    EXPECT_EQ(shown, "Enter ip?  10.0.0.1 ,x\r\n");
    EXPECT_EQ(pollKey(), "\x1b");
    EXPECT_EQ(pollKey(), "q");
    EXPECT_EQ(pollKey(), "");
    CloseHandle(writeEnd);
    EXPECT_EQ(pollKey(), "\xff\x6b");
}

TEST(Win32ConsoleSeamTest, OutputThatIsNotAConsoleIsWrittenUnchanged) {
    const Text bytes("A\x07\tB\x1b[31m\x08\xff\x00Z", 11);
    std::string written = captured([&] {
        setTextColor(14);
        print(bytes);
        printLine("");
        moveCursor(1, 1);
        print(Text(80, 'x'));
    });
    EXPECT_EQ(written, bytes + "\r\n" + std::string(80, 'x'));
    EXPECT_EQ(cursorRow(), 2);  // the model of an 80 by 25 screen: the full row wrapped
}

TEST(Win32ConsoleSeamTest, OnlyCloseLogOffAndShutDownQueueTheCloseRequest) {
    discardKeys();
    const struct {
        DWORD notification;
        BOOL handled;
    } rows[] = {{CTRL_C_EVENT, FALSE}, {CTRL_BREAK_EVENT, FALSE}, {CTRL_CLOSE_EVENT, TRUE},
                {CTRL_LOGOFF_EVENT, TRUE}, {CTRL_SHUTDOWN_EVENT, TRUE}};
    for (const auto& row : rows) {
        EXPECT_EQ(consoleControlHandler(row.notification), row.handled) << row.notification;
        EXPECT_EQ(pollKey(), row.handled ? Text("\xff\x6b") : Text()) << row.notification;
    }
}

}  // namespace
