// A tiny program for the console output tests: writes a fixed script through the public output
// operations, then reports the cursor row and the screen as the layer believes it stands on stderr.
#include "common/console/console.h"
#include "common/console/console_internal.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void basicScript() {
    setTextColor(14);
    print("abc");
    print("");
    printLine(std::string("\x1b]0;t\x07\x00\xff", 7));
    moveCursor(5, 3);
    printLine("");
    printLine(std::string(80, 'x'));
    print("tail\ttab\b\r\n");
}

void allBytesScript() {
    std::string all;
    for (int round = 0; round < 12; round++) {
        for (int byte = 0; byte < 256; byte++) all.push_back(static_cast<char>(byte));
    }
    print(all);
    printLine("end");
}

// For a real terminal: the edges a person sees, left on the screen for a capture.
void terminalScript() {
    // Row 23 keeps "er"; the rest of it and row 24 are blanks (in the terminal's colours: a terminal
    // keeps no foreground colour in the cells it erases).
    moveCursor(23, 1);
    print("erased");
    moveCursor(24, 5);
    print("erased too");
    moveCursor(23, 3);
    eraseBelowCursor();
    moveCursor(1, 1);
    print("plain ");
    setTextColor(10);
    printLine(std::string("green \x1b[31m\x01\xdb", 13));
    setTextColor(12);
    moveCursor(25, 71);
    print("bottom-end");  // fills the bottom-right cell: nothing scrolls
    moveCursor(24, 1);
    setTextColor(15);
    print("row 24");
    moveCursor(25, 1);
    print("\t>");
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "basic";
    if (std::strcmp(mode, "exit") == 0) endProgram(3);
    if (std::strcmp(mode, "all") == 0) allBytesScript();
    else if (std::strcmp(mode, "terminal") == 0) terminalScript();
    else basicScript();
    std::string report = "row " + std::to_string(cursorRow()) + "\n" + screenDump();
    std::fwrite(report.data(), 1, report.size(), stderr);
    if (std::strcmp(mode, "terminal") == 0) pause(60000);  // the test captures the pane and ends it
    endProgram(0);
}
