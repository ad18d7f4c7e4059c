// The output half of the console's front: the public output operations over the screen model, whose
// changes the back end puts on the screen. When the output is not a screen (a file or a pipe), texts
// are written byte for byte, and the model is still kept at 80 by 25 so that cursorRow and screenDump
// answer as they would on a screen of that size.
#include "common/console/console.h"
#include "common/console/console_backend.h"
#include "common/console/console_internal.h"

#include <cstdlib>

namespace {

struct ConsoleScreen {
    bool started = false;
    bool screen = false;  // the output is a terminal or a console: its changes are drawn
    int checks = 0;       // times the screen was learned anew, after a resize or a resume
    int resumes = 0;      // times the program went on after a stop
    ScreenModel model;
};

ConsoleScreen screen;

// The first operation that touches the console starts it. The screen is never cleared; output begins
// where the cursor stands.
ConsoleScreen& consoleScreen() {
    if (screen.started) return screen;
    screen.started = true;
    initScreenModel(&screen.model, 80, 25, 1, 1);  // in case the start asks for the screen meanwhile
    screen.screen = backendStart(&screen.model);
    return screen;
}

// After a resize or a stop the back end learns the screen anew before the next write.
ConsoleScreen& followScreen() {
    ConsoleScreen& console = consoleScreen();
    if (!console.screen) return console;
    int change = backendFollow(&console.model, &consoleKeys());
    if (change != 0) console.checks++;
    if (change & ScreenResumed) console.resumes++;
    return console;
}

}  // namespace

void print(const Text& text) {
    ConsoleScreen& console = followScreen();
    writeScreenText(&console.model, text);
    backendOutput(&console.model, console.screen ? Text() : text);
}

void printLine(const Text& text) {
    print(text);
    print("\r\n");
}

void setTextColor(int color) {
    ConsoleScreen& console = consoleScreen();
    setScreenColor(&console.model, color);
    backendOutput(&console.model, Text());
}

void moveCursor(int row, int column) {
    ConsoleScreen& console = followScreen();
    moveScreenCursor(&console.model, row, column);
    backendOutput(&console.model, Text());
}

int cursorRow() {
    return followScreen().model.row;
}

// Keys typed meanwhile stay in the input until the next key operation reads them.
void pause(int milliseconds) {
    backendSleep(milliseconds > 0 ? milliseconds : 0);
}

void flushConsole() {
    backendSleep(0);
}

void endProgram(int status) {
    backendRestore();
    std::exit(status);
}

bool consoleEndsWithProgram() {
    return backendEndsWithProgram();
}

int cursorColumn() {
    return followScreen().model.column;
}

int screenWidth() {
    return followScreen().model.width;
}

int screenHeight() {
    return followScreen().model.height;
}

long long scrollCount() {
    return consoleScreen().model.scrolls;
}

void carryOutPendingBreak() {
    ConsoleScreen& console = followScreen();
    breakPendingLine(&console.model);
    backendOutput(&console.model, Text());
}

int cursorChecks() {
    return consoleScreen().checks;
}

int screenResumes() {
    return consoleScreen().resumes;
}

void beep() {
    ConsoleScreen& console = consoleScreen();
    ringScreenBell(&console.model);
    backendOutput(&console.model, Text());
}

void eraseBelowCursor() {
    ConsoleScreen& console = followScreen();
    moveScreenCursor(&console.model, 0, 0);  // the cursor goes there first
    eraseScreenBelow(&console.model);
    backendOutput(&console.model, Text());
}

Text screenDump() {
    return dumpScreenModel(consoleScreen().model);
}
