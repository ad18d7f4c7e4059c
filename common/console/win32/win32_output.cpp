// The output half of the Win32 console form: the public output operations over the shared screen
// model, whose changes are put into the console's cells with console calls that interpret no byte.
// The model sits over the print area, the rows of the console's buffer that the window showed at start;
// where the buffer has rows below it, a scroll moves the area and the window down over them, else the
// buffer's contents move up. A window the user scrolled elsewhere is brought back before output.
// When the output is not a console (a file or a pipe), texts are written byte for byte, and the model
// is kept at 80 by 25 so that cursorRow answers as it would on a console of that size.
#include "common/console/console.h"
#include "common/console/console_internal.h"
#include "common/console/screen_model.h"
#include "common/console/win32/win32_console.h"

#include <cstdlib>
#include <vector>

namespace {

struct ConsoleScreen {
    bool started = false;
    bool console = false;      // the output is a console: changes go into its cells
    WORD startAttributes = 7;  // the colours of output before the first setTextColor
    int checks = 0;            // times the window's size was found changed
    int areaTop = 0;           // the buffer row of the print area's top row
    ScreenModel model;
};

ConsoleScreen screen;

// The standard output as it is now (a test may have redirected it since the start).
HANDLE outputHandle() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

bool readInfo(CONSOLE_SCREEN_BUFFER_INFO* info) {
    return GetConsoleScreenBufferInfo(outputHandle(), info) != 0;
}

int windowWidth(const CONSOLE_SCREEN_BUFFER_INFO& info) {
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int windowHeight(const CONSOLE_SCREEN_BUFFER_INFO& info) {
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

WORD attributesOf(const ConsoleScreen& console, int foreground, int background) {
    if (foreground == TerminalColor) return console.startAttributes;
    return static_cast<WORD>(((background & 15) << 4) | (foreground & 15));
}

COORD bufferPlace(const CONSOLE_SCREEN_BUFFER_INFO& info, int row, int column) {
    COORD place;
    place.X = static_cast<SHORT>(info.srWindow.Left + column - 1);
    place.Y = static_cast<SHORT>(screen.areaTop + row - 1);
    return place;
}

// Puts the window back over the print area when the user scrolled it elsewhere.
void showPrintArea(CONSOLE_SCREEN_BUFFER_INFO* info) {
    int height = windowHeight(*info);
    if (info->srWindow.Top == screen.areaTop) return;
    SMALL_RECT area = {info->srWindow.Left, static_cast<SHORT>(screen.areaTop), info->srWindow.Right,
                       static_cast<SHORT>(screen.areaTop + height - 1)};
    if (SetConsoleWindowInfo(outputHandle(), TRUE, &area)) info->srWindow = area;
}

// A run of cells of one row, written as they are: no byte is taken as a command. False when the console
// refused it.
bool drawCells(const ConsoleScreen& console, const CONSOLE_SCREEN_BUFFER_INFO& info, const DrawOp& op) {
    WORD attributes = attributesOf(console, op.foreground, op.background);
    std::vector<CHAR_INFO> cells(op.bytes.size());
    for (size_t i = 0; i < op.bytes.size(); ++i) {
        cells[i].Char.AsciiChar = op.bytes[i];
        cells[i].Attributes = attributes;
    }
    COORD place = bufferPlace(info, op.row, op.column);
    SMALL_RECT area = {place.X, place.Y, static_cast<SHORT>(place.X + cells.size() - 1), place.Y};
    COORD size = {static_cast<SHORT>(cells.size()), 1};
    return WriteConsoleOutputA(outputHandle(), cells.data(), size, COORD{0, 0}, &area) != 0;
}

bool blankRows(const CONSOLE_SCREEN_BUFFER_INFO& info, int firstBufferRow, int rows, WORD attributes) {
    DWORD written = 0;
    DWORD count = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(rows);
    COORD start = {0, static_cast<SHORT>(firstBufferRow)};
    return FillConsoleOutputCharacterA(outputHandle(), ' ', count, start, &written) &&
           FillConsoleOutputAttribute(outputHandle(), attributes, count, start, &written);
}

// Moves the buffer's rows from its top to the given bottom row up by that many rows; the top rows are
// lost and those uncovered at the bottom are blanked. The rows below the first ones go to row 0: a
// destination above the buffer, which would push the first ones out, is refused by some consoles.
bool moveBufferUp(const CONSOLE_SCREEN_BUFFER_INFO& info, int bottom, int rows, WORD attributes) {
    if (rows > bottom) return blankRows(info, 0, bottom + 1, attributes);
    SMALL_RECT moved = {0, static_cast<SHORT>(rows), static_cast<SHORT>(info.dwSize.X - 1),
                        static_cast<SHORT>(bottom)};
    CHAR_INFO fill;
    fill.Char.AsciiChar = ' ';
    fill.Attributes = attributes;
    return ScrollConsoleScreenBufferA(outputHandle(), &moved, nullptr, COORD{0, 0}, &fill) &&
           blankRows(info, bottom - rows + 1, rows, attributes);
}

// Scrolls the print area up: first by moving the window down over spare rows of the buffer, then, for
// what is left, by moving the buffer's contents up. The uncovered rows are blank in the colours of the
// scroll. False when the console refused a call.
bool scrollWindow(const ConsoleScreen& console, CONSOLE_SCREEN_BUFFER_INFO* info, const DrawOp& op) {
    WORD attributes = attributesOf(console, op.foreground, op.background);
    int rows = op.count;
    int spare = info->dwSize.Y - 1 - (screen.areaTop + windowHeight(*info) - 1);
    int down = rows < spare ? rows : spare;
    if (down > 0) {
        SMALL_RECT move = {0, static_cast<SHORT>(down), 0, static_cast<SHORT>(down)};
        if (SetConsoleWindowInfo(outputHandle(), FALSE, &move)) {
            info->srWindow.Top = static_cast<SHORT>(info->srWindow.Top + down);
            info->srWindow.Bottom = static_cast<SHORT>(info->srWindow.Bottom + down);
            screen.areaTop += down;
            rows -= down;
            if (!blankRows(*info, screen.areaTop + windowHeight(*info) - down, down, attributes)) return false;
        }
    }
    if (rows <= 0) return true;
    return moveBufferUp(*info, screen.areaTop + windowHeight(*info) - 1, rows, attributes);
}

// Puts the whole print area into the console's cells as the model holds it, row by row: after the
// console refused a change, the screen is made right again from what the model knows.
void redrawPrintArea(const ConsoleScreen& console, const CONSOLE_SCREEN_BUFFER_INFO& info) {
    const ScreenModel& model = console.model;
    std::vector<CHAR_INFO> cells(static_cast<size_t>(model.width));
    for (int row = 1; row <= model.height; ++row) {
        for (int column = 1; column <= model.width; ++column) {
            const Cell& cell = screenCell(model, row, column);
            cells[column - 1].Char.AsciiChar = static_cast<CHAR>(cell.byte);
            cells[column - 1].Attributes = attributesOf(console, cell.foreground, cell.background);
        }
        COORD place = bufferPlace(info, row, 1);
        SMALL_RECT area = {place.X, place.Y, static_cast<SHORT>(place.X + model.width - 1), place.Y};
        WriteConsoleOutputA(outputHandle(), cells.data(), COORD{static_cast<SHORT>(model.width), 1}, COORD{0, 0},
                            &area);
    }
}

// Puts what the model changed into the console's cells.
void applyChanges(ConsoleScreen& console) {
    std::vector<DrawOp>& changes = console.model.changes;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!changes.empty() && readInfo(&info)) {
        showPrintArea(&info);
        bool refused = false;
        for (const DrawOp& op : changes) {
            switch (op.kind) {
            case DrawKind::Cells: refused = !drawCells(console, info, op) || refused; break;
            case DrawKind::Scroll: refused = !scrollWindow(console, &info, op) || refused; break;
            case DrawKind::Bell: consoleBeep(); break;
            case DrawKind::Cursor:
                SetConsoleCursorPosition(outputHandle(), bufferPlace(info, op.row, op.column));
                break;
            }
        }
        if (refused) redrawPrintArea(console, info);
        // Cells are written without moving the console's cursor: it goes where the model has it.
        SetConsoleCursorPosition(outputHandle(), bufferPlace(info, console.model.row, console.model.column));
    }
    changes.clear();
}

// The window's size as the console has it now; after a change the model takes the new size and the
// console's cursor. A pending break stays pending: its row is full whatever the width.
void followWindow(ConsoleScreen& console) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!console.console || !readInfo(&info)) return;
    int width = windowWidth(info), height = windowHeight(info);
    ScreenModel& model = console.model;
    if (width == model.width && height == model.height) return;
    console.checks++;
    console.areaTop = info.srWindow.Top;
    bool pending = model.pendingBreak;
    resizeScreenModel(&model, width, height);
    moveScreenCursor(&model, info.dwCursorPosition.Y - info.srWindow.Top + 1,
                     info.dwCursorPosition.X - info.srWindow.Left + 1);
    model.pendingBreak = pending;
    model.changes.clear();
}

// The first operation that touches the console starts it. The screen is never cleared; output begins
// where the console's cursor stands.
ConsoleScreen& consoleScreen() {
    if (screen.started) return screen;
    screen.started = true;
    takeOverConsole();
    CONSOLE_SCREEN_BUFFER_INFO info;
    screen.console = readInfo(&info);
    if (screen.console) {
        screen.startAttributes = info.wAttributes;
        screen.areaTop = info.srWindow.Top;
        initScreenModel(&screen.model, windowWidth(info), windowHeight(info),
                        info.dwCursorPosition.Y - info.srWindow.Top + 1,
                        info.dwCursorPosition.X - info.srWindow.Left + 1);
    } else {
        initScreenModel(&screen.model, 80, 25, 1, 1);
    }
    screen.model.recordChanges = screen.console;
    return screen;
}

void writeBytes(const Text& text) {
    DWORD written = 0;
    size_t done = 0;
    while (done < text.size()) {
        DWORD piece = static_cast<DWORD>(text.size() - done < 1024 ? text.size() - done : 1024);
        if (!WriteFile(outputHandle(), text.data() + done, piece, &written, nullptr) || written == 0) return;
        done += written;
    }
}

void writeText(const Text& text) {
    ConsoleScreen& console = consoleScreen();
    followWindow(console);
    if (!console.console) writeBytes(text);
    writeScreenText(&console.model, text);
    applyChanges(console);
}

}  // namespace

void print(const Text& text) {
    writeText(text);
}

void printLine(const Text& text) {
    writeText(text);
    writeText("\r\n");
}

void setTextColor(int color) {
    ConsoleScreen& console = consoleScreen();
    setScreenColor(&console.model, color);
    if (console.console) {
        SetConsoleTextAttribute(outputHandle(),
                                attributesOf(console, console.model.foreground, console.model.background));
    }
}

void moveCursor(int row, int column) {
    ConsoleScreen& console = consoleScreen();
    followWindow(console);
    moveScreenCursor(&console.model, row, column);
    applyChanges(console);
}

int cursorRow() {
    ConsoleScreen& console = consoleScreen();
    followWindow(console);
    return console.model.row;
}

// Keys pressed meanwhile stay in the console's input until the next key operation reads them.
void pause(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

void flushConsole() {}

void endProgram(int status) {
    stopCloseListening();
    std::exit(status);
}

// Another process on the console (the Command Prompt the program was started from) keeps it open.
bool consoleEndsWithProgram() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

int cursorColumn() {
    ConsoleScreen& console = consoleScreen();
    followWindow(console);
    return console.model.column;
}

int screenWidth() {
    ConsoleScreen& console = consoleScreen();
    followWindow(console);
    return console.model.width;
}

int screenHeight() {
    ConsoleScreen& console = consoleScreen();
    followWindow(console);
    return console.model.height;
}

long long scrollCount() {
    return consoleScreen().model.scrolls;
}

void carryOutPendingBreak() {
    ConsoleScreen& console = consoleScreen();
    followWindow(console);
    breakPendingLine(&console.model);
    applyChanges(console);
}

int cursorChecks() {
    return consoleScreen().checks;
}

void beep() {
    consoleBeep();
}

void consoleBeep() {
    Beep(1000, 250);
}

Text screenDump() {
    return dumpScreenModel(consoleScreen().model);
}
