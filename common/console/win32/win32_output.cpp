// The Win32 console back end's screen: the model's changes put into the console's cells with console
// calls that interpret no byte. The model sits over the print area, the rows of the console's buffer that
// the window showed at start. Output that is not a console (a file or a pipe) gets the texts byte for byte.
#include "common/console/console_backend.h"
#include "common/console/win32/win32_console.h"

#include <vector>

namespace {

struct ConsoleScreen {
    bool console = false;      // the output is a console: changes go into its cells
    WORD startAttributes = 7;  // the colours of output before the first setTextColor
    WORD attributes = 7;       // the console's colours for text written by others, as last set
    int areaTop = 0;           // the buffer row of the print area's top row
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

WORD attributesOf(int foreground, int background) {
    if (foreground == TerminalColor) return screen.startAttributes;
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
    if (info->srWindow.Top == screen.areaTop) return;
    SMALL_RECT area = {info->srWindow.Left, static_cast<SHORT>(screen.areaTop), info->srWindow.Right,
                       static_cast<SHORT>(screen.areaTop + windowHeight(*info) - 1)};
    if (SetConsoleWindowInfo(outputHandle(), TRUE, &area)) info->srWindow = area;
}

CHAR_INFO consoleCell(char byte, WORD attributes) {
    CHAR_INFO cell = {};
    cell.Char.AsciiChar = byte;
    cell.Attributes = attributes;
    return cell;
}

// Cells written into one row from (row, column) on, as they are: no byte is taken as a command. False
// when the console refused them, as every call below.
bool writeRow(const CONSOLE_SCREEN_BUFFER_INFO& info, int row, int column, const std::vector<CHAR_INFO>& cells) {
    COORD place = bufferPlace(info, row, column);
    SMALL_RECT area = {place.X, place.Y, static_cast<SHORT>(place.X + cells.size() - 1), place.Y};
    COORD size = {static_cast<SHORT>(cells.size()), 1};
    return WriteConsoleOutputA(outputHandle(), cells.data(), size, COORD{0, 0}, &area) != 0;
}

bool drawCells(const CONSOLE_SCREEN_BUFFER_INFO& info, const DrawOp& op) {
    WORD attributes = attributesOf(op.foreground, op.background);
    std::vector<CHAR_INFO> cells;
    for (char byte : op.bytes) cells.push_back(consoleCell(byte, attributes));
    return writeRow(info, op.row, op.column, cells);
}

// Blanks count cells from start on, row after row of the buffer, in the given colours.
bool blankCells(COORD start, DWORD count, WORD attributes) {
    DWORD written = 0;
    return FillConsoleOutputCharacterA(outputHandle(), ' ', count, start, &written) &&
           FillConsoleOutputAttribute(outputHandle(), attributes, count, start, &written);
}

bool blankRows(const CONSOLE_SCREEN_BUFFER_INFO& info, int firstBufferRow, int rows, WORD attributes) {
    DWORD count = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(rows);
    return blankCells(COORD{0, static_cast<SHORT>(firstBufferRow)}, count, attributes);
}

// Every cell from the erase's place to the end of the print area.
bool eraseBelow(const CONSOLE_SCREEN_BUFFER_INFO& info, const DrawOp& op) {
    COORD start = bufferPlace(info, op.row, op.column);
    long areaEnd = static_cast<long>(screen.areaTop + windowHeight(info)) * info.dwSize.X;
    long from = static_cast<long>(start.Y) * info.dwSize.X + start.X;
    if (from >= areaEnd) return true;
    return blankCells(start, static_cast<DWORD>(areaEnd - from), attributesOf(op.foreground, op.background));
}

// Moves the buffer's rows from its top to the given bottom row up by that many rows; the top rows are
// lost and those uncovered at the bottom are blanked. The rows below the first ones go to row 0: a
// destination above the buffer, which would push the first ones out, is refused by some consoles.
bool moveBufferUp(const CONSOLE_SCREEN_BUFFER_INFO& info, int bottom, int rows, WORD attributes) {
    if (rows > bottom) return blankRows(info, 0, bottom + 1, attributes);
    SMALL_RECT moved = {0, static_cast<SHORT>(rows), static_cast<SHORT>(info.dwSize.X - 1),
                        static_cast<SHORT>(bottom)};
    CHAR_INFO fill = consoleCell(' ', attributes);
    return ScrollConsoleScreenBufferA(outputHandle(), &moved, nullptr, COORD{0, 0}, &fill) &&
           blankRows(info, bottom - rows + 1, rows, attributes);
}

// Scrolls the print area up: first by moving the window down over spare rows of the buffer, then, for
// what is left, by moving the buffer's contents up. The uncovered rows are blank in the colours of the
// scroll.
bool scrollWindow(CONSOLE_SCREEN_BUFFER_INFO* info, const DrawOp& op) {
    WORD attributes = attributesOf(op.foreground, op.background);
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
void redrawPrintArea(const ScreenModel& model, const CONSOLE_SCREEN_BUFFER_INFO& info) {
    std::vector<CHAR_INFO> cells(static_cast<size_t>(model.width));
    for (int row = 1; row <= model.height; ++row) {
        for (int column = 1; column <= model.width; ++column) {
            const Cell& cell = screenCell(model, row, column);
            cells[column - 1] = consoleCell(static_cast<CHAR>(cell.byte), attributesOf(cell.foreground, cell.background));
        }
        writeRow(info, row, 1, cells);
    }
}

bool drawChange(CONSOLE_SCREEN_BUFFER_INFO* info, const DrawOp& op) {
    switch (op.kind) {
    case DrawKind::Cells: return drawCells(*info, op);
    case DrawKind::Scroll: return scrollWindow(info, op);
    case DrawKind::Bell: Beep(1000, 250); return true;
    case DrawKind::Cursor: return SetConsoleCursorPosition(outputHandle(), bufferPlace(*info, op.row, op.column));
    case DrawKind::Erase: return eraseBelow(*info, op);
    }
    return true;
}

// The console's colours for text that others write follow setTextColor.
void followColors(const ScreenModel& model) {
    if (!model.colorSet) return;
    WORD attributes = attributesOf(model.foreground, model.background);
    if (attributes != screen.attributes && SetConsoleTextAttribute(outputHandle(), attributes)) {
        screen.attributes = attributes;
    }
}

void writeBytes(const Text& text) {
    DWORD written = 0;
    for (size_t done = 0; done < text.size(); done += written) {
        DWORD piece = static_cast<DWORD>(text.size() - done < 1024 ? text.size() - done : 1024);
        if (!WriteFile(outputHandle(), text.data() + done, piece, &written, nullptr) || written == 0) return;
    }
}

}  // namespace

// Output begins where the console's cursor stands; the screen is never cleared.
bool backendStart(ScreenModel* model) {
    takeOverConsole();
    CONSOLE_SCREEN_BUFFER_INFO info;
    screen.console = readInfo(&info);
    if (!screen.console) {
        model->recordChanges = false;
        return false;
    }
    screen.startAttributes = screen.attributes = info.wAttributes;
    screen.areaTop = info.srWindow.Top;
    initScreenModel(model, windowWidth(info), windowHeight(info), info.dwCursorPosition.Y - info.srWindow.Top + 1,
                    info.dwCursorPosition.X - info.srWindow.Left + 1);
    return true;
}

// The window's size as the console has it now; after a change the model takes the new size and the
// console's cursor. A pending break stays pending: its row is full whatever the width.
int backendFollow(ScreenModel* model, KeyQueue*) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!readInfo(&info)) return 0;
    int width = windowWidth(info), height = windowHeight(info);
    if (width == model->width && height == model->height) return 0;
    screen.areaTop = info.srWindow.Top;
    bool pending = model->pendingBreak;
    resizeScreenModel(model, width, height);
    moveScreenCursor(model, info.dwCursorPosition.Y - info.srWindow.Top + 1,
                     info.dwCursorPosition.X - info.srWindow.Left + 1);
    model->pendingBreak = pending;
    model->changes.clear();
    return ScreenResized;
}

// Cells are written without moving the console's cursor: at the end it goes where the model has it.
// Where the console refused a change, the print area is drawn again whole from the model.
void backendOutput(ScreenModel* model, const Text& bytes) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!screen.console) {
        writeBytes(bytes);
    } else if (!model->changes.empty() && readInfo(&info)) {
        showPrintArea(&info);
        bool refused = false;
        for (const DrawOp& op : model->changes) refused = !drawChange(&info, op) || refused;
        if (refused) redrawPrintArea(*model, info);
        SetConsoleCursorPosition(outputHandle(), bufferPlace(info, model->row, model->column));
    }
    if (screen.console) followColors(*model);
    model->changes.clear();
}

// Keys pressed meanwhile stay in the console's input until the next key operation reads them.
void backendSleep(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

void backendRestore() {
    stopCloseListening();
}

// Another process on the console (the Command Prompt the program was started from) keeps it open.
bool backendEndsWithProgram() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

bool backendShowCursor(bool visible) {
    CONSOLE_CURSOR_INFO cursor;
    if (!GetConsoleCursorInfo(outputHandle(), &cursor)) return true;
    bool was = cursor.bVisible != 0;
    cursor.bVisible = visible ? TRUE : FALSE;
    SetConsoleCursorInfo(outputHandle(), &cursor);
    return was;
}
