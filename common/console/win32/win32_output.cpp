// The Win32 console back end's screen: the model's changes put into the console's cells with console
// calls that interpret no byte. The model sits over the print area, the rows of the console's buffer
// that the window showed at start; where the buffer has rows below it, a scroll moves the area and the
// window down over them, else the buffer's contents move up. A window the user scrolled elsewhere is
// brought back before output. Output that is not a console (a file or a pipe) gets the texts byte for byte.
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
    int height = windowHeight(*info);
    if (info->srWindow.Top == screen.areaTop) return;
    SMALL_RECT area = {info->srWindow.Left, static_cast<SHORT>(screen.areaTop), info->srWindow.Right,
                       static_cast<SHORT>(screen.areaTop + height - 1)};
    if (SetConsoleWindowInfo(outputHandle(), TRUE, &area)) info->srWindow = area;
}

// A run of cells of one row, written as they are: no byte is taken as a command.
void drawCells(const CONSOLE_SCREEN_BUFFER_INFO& info, const DrawOp& op) {
    WORD attributes = attributesOf(op.foreground, op.background);
    std::vector<CHAR_INFO> cells(op.bytes.size());
    for (size_t i = 0; i < op.bytes.size(); ++i) {
        cells[i].Char.AsciiChar = op.bytes[i];
        cells[i].Attributes = attributes;
    }
    COORD place = bufferPlace(info, op.row, op.column);
    SMALL_RECT area = {place.X, place.Y, static_cast<SHORT>(place.X + cells.size() - 1), place.Y};
    COORD size = {static_cast<SHORT>(cells.size()), 1};
    WriteConsoleOutputA(outputHandle(), cells.data(), size, COORD{0, 0}, &area);
}

// Blanks count cells from start on, row after row of the buffer, in the given colours.
void blankCells(COORD start, DWORD count, WORD attributes) {
    DWORD written = 0;
    FillConsoleOutputCharacterA(outputHandle(), ' ', count, start, &written);
    FillConsoleOutputAttribute(outputHandle(), attributes, count, start, &written);
}

void blankRows(const CONSOLE_SCREEN_BUFFER_INFO& info, int firstBufferRow, int rows, WORD attributes) {
    DWORD count = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(rows);
    blankCells(COORD{0, static_cast<SHORT>(firstBufferRow)}, count, attributes);
}

// Every cell from the erase's place to the end of the print area.
void eraseBelow(const CONSOLE_SCREEN_BUFFER_INFO& info, const DrawOp& op) {
    COORD start = bufferPlace(info, op.row, op.column);
    long areaEnd = static_cast<long>(screen.areaTop + windowHeight(info)) * info.dwSize.X;
    long from = static_cast<long>(start.Y) * info.dwSize.X + start.X;
    if (from < areaEnd) blankCells(start, static_cast<DWORD>(areaEnd - from), attributesOf(op.foreground, op.background));
}

// Scrolls the print area up: first by moving the window down over spare rows of the buffer, then, for
// what is left, by moving the buffer's contents up (the top rows are lost). The uncovered rows are blank
// in the colours of the scroll.
void scrollWindow(CONSOLE_SCREEN_BUFFER_INFO* info, const DrawOp& op) {
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
            blankRows(*info, screen.areaTop + windowHeight(*info) - down, down, attributes);
            rows -= down;
        }
    }
    if (rows <= 0) return;
    SMALL_RECT area = {0, 0, static_cast<SHORT>(info->dwSize.X - 1),
                       static_cast<SHORT>(screen.areaTop + windowHeight(*info) - 1)};
    CHAR_INFO fill;
    fill.Char.AsciiChar = ' ';
    fill.Attributes = attributes;
    ScrollConsoleScreenBufferA(outputHandle(), &area, nullptr, COORD{0, static_cast<SHORT>(-rows)}, &fill);
}

void drawChange(CONSOLE_SCREEN_BUFFER_INFO* info, const DrawOp& op) {
    switch (op.kind) {
    case DrawKind::Cells: drawCells(*info, op); break;
    case DrawKind::Scroll: scrollWindow(info, op); break;
    case DrawKind::Bell: Beep(1000, 250); break;
    case DrawKind::Cursor: SetConsoleCursorPosition(outputHandle(), bufferPlace(*info, op.row, op.column)); break;
    case DrawKind::Erase: eraseBelow(*info, op); break;
    }
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
    size_t done = 0;
    while (done < text.size()) {
        DWORD piece = static_cast<DWORD>(text.size() - done < 1024 ? text.size() - done : 1024);
        if (!WriteFile(outputHandle(), text.data() + done, piece, &written, nullptr) || written == 0) return;
        done += written;
    }
}

}  // namespace

// Output begins where the console's cursor stands; the screen is never cleared.
bool backendStart(ScreenModel* model) {
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
void backendOutput(ScreenModel* model, const Text& bytes) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!screen.console) {
        writeBytes(bytes);
    } else if (!model->changes.empty() && readInfo(&info)) {
        showPrintArea(&info);
        for (const DrawOp& op : model->changes) drawChange(&info, op);
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

bool backendShowCursor(bool visible) {
    CONSOLE_CURSOR_INFO cursor;
    HANDLE output = outputHandle();
    if (!GetConsoleCursorInfo(output, &cursor)) return true;
    bool was = cursor.bVisible != 0;
    cursor.bVisible = visible ? TRUE : FALSE;
    SetConsoleCursorInfo(output, &cursor);
    return was;
}
