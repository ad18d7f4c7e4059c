// A small program over the console's keyboard half, for the process and terminal tests.
//   console_probe line  : inputText, print the item in brackets, then every key left, until input ends
//   console_probe keys  : print every key as numbers until input ends
//   console_probe wait  : waitForKey twice around a pollKey, then print the keys
//   console_probe tty   : inputText, the discard of waiting keys as the client does it, then a key loop
//                         in a terminal: Esc ends (status 0), A aborts, and isKeyDown(1) is reported as "held"
//   console_probe held  : the same loop, but q ends it instead of Esc
//   console_probe log   : three numbered lines of 70 characters for each key; Esc ends
#include "common/console/console.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

Text numbers(const Text& key) {
    Text text;
    for (unsigned char c : key) text += (text.empty() ? "" : " ") + decimalText(static_cast<std::int32_t>(c));
    return text;
}

// Prints keys until the close request that the end of input brings, or a second without keys
// (inputText may have taken the close request).
void printKeys() {
    for (int idle = 0; idle < 200;) {
        Text key = pollKey();
        if (key.empty()) {
            pause(5);
            ++idle;
            continue;
        }
        idle = 0;
        printLine("key " + numbers(key));
        if (key == Text("\xffk")) return;
    }
}

void ttyLoop(bool escEnds) {
    printLine("ready pid " + decimalText(static_cast<std::int32_t>(getpid())));
    for (;;) {
        if (isKeyDown(EscScanCode)) printLine("held");
        Text key = pollKey();
        if (!key.empty()) printLine("key " + numbers(key));
        if (key == (escEnds ? "\x1b" : "q")) endProgram(0);
        if (key == "A") std::abort();
        pause(10);
    }
}

// In colours, as the client prints: rows that come in are blanked black, not in the terminal's own colour.
void logLoop() {
    setTextColor(7);
    for (int line = 0;;) {
        Text key = pollKey();
        if (key == "\x1b") endProgram(0);
        for (int i = 0; i < 3 && !key.empty(); ++i) {
            printLine("line " + decimalText(++line) + " " + repeatChar(55, "-") + "|");
        }
        pause(10);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "line";
    if (std::strcmp(mode, "keys") == 0) {
        printKeys();
    } else if (std::strcmp(mode, "wait") == 0) {
        waitForKey();
        printLine("first " + numbers(pollKey()));
        waitForKey();
        printLine("woke");
        for (Text key = pollKey(); !key.empty(); key = pollKey()) printLine("key " + numbers(key));
    } else if (std::strcmp(mode, "log") == 0) {
        logLoop();
    } else if (std::strcmp(mode, "tty") == 0 || std::strcmp(mode, "held") == 0) {
        printLine("item=[" + inputText("Say") + "]");
        discardKeys();
        ttyLoop(std::strcmp(mode, "tty") == 0);
    } else {
        printLine("item=[" + inputText("Enter ip to connect to") + "]");
        printKeys();
    }
    endProgram(0);
}
