// The console's screen as plain data: cells, cursor, colours, the deferred line break and scrolling. Each
// operation applies the output rules and records what it changed as a flat list of draw operations, which
// the back end puts on the screen (as escape sequences or as console cells). Nothing here does I/O.
#pragma once

#include <string>
#include <vector>

// A cell colour that is "whatever the terminal had": cells written before the first setTextColor.
constexpr int TerminalColor = -1;

struct Cell {
    unsigned char byte = ' ';
    int foreground = TerminalColor;
    int background = TerminalColor;
};

enum class DrawKind {
    Cells,   // bytes put into consecutive cells of one row, from (row, column), in the given colours
    Scroll,  // the whole screen moved up by count rows; the new bottom rows are blank in the given colours
             // (within paintedColumns)
    Bell,    // the terminal's bell
    Cursor,  // the cursor now stands at (row, column)
    Erase,   // every cell from (row, column) to the end of the screen blanked in the given colours
             // (within paintedColumns)
};

struct DrawOp {
    DrawKind kind = DrawKind::Cursor;
    int row = 1;
    int column = 1;
    int count = 0;
    int foreground = TerminalColor;
    int background = TerminalColor;
    std::string bytes;
};

struct ScreenModel {
    int width = 80;
    int height = 25;
    std::vector<Cell> cells;      // row by row, width * height, as a ring of rows starting at topRow
    int topRow = 0;               // the row of cells that the screen shows on top; a scroll moves it on
    int row = 1;                  // the cursor, 1-based
    int column = 1;
    int foreground = 7;           // the remembered colours
    int background = 0;
    bool colorSet = false;        // setTextColor was called: cells take the remembered colours
    bool pendingBreak = false;    // the bottom-right cell was written last; the next write breaks first
    long long scrolls = 0;        // rows scrolled since start
    std::vector<DrawOp> changes;  // what the operations changed since the caller last took them
    bool recordChanges = true;    // false: nobody draws the changes (output to a file), so none are kept
    int paintedColumns = 0;       // cells blanked past this column take the terminal's colours; 0: none do
};

// A blank screen of the given size (80 by 25 where a size is below 1) with the cursor clamped onto it.
void initScreenModel(ScreenModel* screen, int width, int height, int row, int column);

// Applies a text by the output rules: bell, backspace, tab, line feed, carriage return, every other
// byte into a cell; wrapping, scrolling and the deferred break in the bottom-right cell.
void writeScreenText(ScreenModel* screen, const std::string& text);

// Row or column 0 keeps the current one; off the screen the cursor stays. Always drops a pending break.
void moveScreenCursor(ScreenModel* screen, int row, int column);

// Only the low 4 bits count.
void setScreenColor(ScreenModel* screen, int color);

// Carries out a pending line break as the next write would; nothing when none is pending.
void breakPendingLine(ScreenModel* screen);

// Blanks every cell from the cursor to the end of the screen in the current colours; the cursor stays.
void eraseScreenBelow(ScreenModel* screen);

// The terminal's bell, recorded as a draw operation.
void ringScreenBell(ScreenModel* screen);

// Keeps the cells that fit at their row and column; the rest of the new screen is blank; the cursor is
// clamped onto the new screen.
void resizeScreenModel(ScreenModel* screen, int width, int height);

const Cell& screenCell(const ScreenModel& screen, int row, int column);

// The screen as text. One line per row: the row's cells, '|', one foreground digit per cell, '|', one
// background digit per cell. Cells show their code page 437 glyph in UTF-8 (printable ASCII as itself,
// 0 as a blank); colours are hex digits 0-f, '.' for the terminal's own colour. A last line gives the cursor:
// "cursor ROW,COLUMN", followed by " break" while a line break is pending.
std::string dumpScreenModel(const ScreenModel& screen);
