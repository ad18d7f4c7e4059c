#include "common/console/screen_model.h"

#include "common/console/glyphs.h"

#include <algorithm>

namespace {

// Where a screen row's cells begin: the rows form a ring that starts at topRow.
size_t rowStart(const ScreenModel& screen, int row) {
    int stored = screen.topRow + row - 1;
    if (stored >= screen.height) stored -= screen.height;
    return static_cast<size_t>(stored) * static_cast<size_t>(screen.width);
}

Cell& cellAt(ScreenModel* screen, int row, int column) {
    return screen->cells[rowStart(*screen, row) + static_cast<size_t>(column - 1)];
}

// A blank in the colours a cell or a blanked row takes now: the terminal's own until setTextColor is called.
Cell currentBlank(const ScreenModel& screen) {
    Cell blank;
    if (!screen.colorSet) return blank;
    blank.foreground = screen.foreground;
    blank.background = screen.background;
    return blank;
}

// A blanked cell in a column: the current colours, or the terminal's past paintedColumns.
Cell blankCell(const ScreenModel& screen, int column) {
    if (screen.paintedColumns > 0 && column > screen.paintedColumns) return Cell();
    return currentBlank(screen);
}

int clampTo(int value, int low, int high) {
    return value < low ? low : (value > high ? high : value);
}

// A draw operation at the cursor in a cell's colours.
DrawOp drawOp(const ScreenModel& screen, DrawKind kind, const Cell& colors) {
    DrawOp op;
    op.kind = kind;
    op.row = screen.row;
    op.column = screen.column;
    op.foreground = colors.foreground;
    op.background = colors.background;
    return op;
}

void scrollUp(ScreenModel* screen, int rows) {
    rows = std::min(rows, screen->height);
    Cell blank = blankCell(*screen, 1);
    // The top row leaves the screen and its cells come back as the blank bottom row: only the rows
    // that change are touched.
    for (int i = 0; i < rows; i++) {
        for (int column = 1; column <= screen->width; column++) {
            cellAt(screen, 1, column) = blankCell(*screen, column);
        }
        screen->topRow = (screen->topRow + 1) % screen->height;
    }
    screen->scrolls += rows;
    if (!screen->recordChanges) return;

    // Consecutive scrolls in the same colours are one scroll of several rows.
    std::vector<DrawOp>& changes = screen->changes;
    if (!changes.empty() && changes.back().kind == DrawKind::Scroll &&
        changes.back().foreground == blank.foreground && changes.back().background == blank.background) {
        changes.back().count += rows;
        return;
    }
    DrawOp op = drawOp(*screen, DrawKind::Scroll, blank);
    op.count = rows;
    changes.push_back(op);
}

// Column 1 of the next row; below the bottom row the screen scrolls and the cursor stays on the bottom row.
void newLine(ScreenModel* screen) {
    screen->column = 1;
    if (screen->row < screen->height) {
        screen->row++;
    } else {
        scrollUp(screen, 1);
    }
}

// Records a cell as drawn, extending the run of the last draw operation when the cell continues it.
void recordCell(ScreenModel* screen, const Cell& cell) {
    if (!screen->recordChanges) return;
    std::vector<DrawOp>& changes = screen->changes;
    if (!changes.empty()) {
        DrawOp& last = changes.back();
        if (last.kind == DrawKind::Cells && last.row == screen->row &&
            last.column + static_cast<int>(last.bytes.size()) == screen->column &&
            last.foreground == cell.foreground && last.background == cell.background) {
            last.bytes.push_back(static_cast<char>(cell.byte));
            return;
        }
    }
    DrawOp op = drawOp(*screen, DrawKind::Cells, cell);
    op.bytes.assign(1, static_cast<char>(cell.byte));
    changes.push_back(op);
}

// Fills the cell under the cursor and advances. In the last column the cursor wraps to the next row,
// except in the bottom-right cell when nothing follows in this write: there the break is deferred, so a
// program can fill that cell without the screen scrolling.
void putCell(ScreenModel* screen, unsigned char byte, bool lastOfWrite) {
    Cell cell = currentBlank(*screen);
    cell.byte = byte;
    cellAt(screen, screen->row, screen->column) = cell;
    recordCell(screen, cell);
    if (screen->column < screen->width) {
        screen->column++;
    } else if (screen->row == screen->height && lastOfWrite) {
        screen->pendingBreak = true;
    } else {
        newLine(screen);
    }
}

// Blanks up to the next tab stop (columns 1, 9, 17, ...); always at least one. A wrap to column 1 also
// reaches a stop, so only the tab's final blank can land in the last column.
void putTab(ScreenModel* screen, bool lastOfWrite) {
    bool finalBlank = false;
    while (!finalBlank) {
        finalBlank = screen->column == screen->width || screen->column % 8 == 0;
        putCell(screen, ' ', lastOfWrite && finalBlank);
    }
}

void recordCursor(ScreenModel* screen) {
    if (screen->recordChanges) screen->changes.push_back(drawOp(*screen, DrawKind::Cursor, Cell()));
}

void applyByte(ScreenModel* screen, unsigned char byte, bool lastOfWrite) {
    switch (byte) {
    case 7: ringScreenBell(screen); break;
    case 8: if (screen->column > 1) screen->column--; break;
    case 9: putTab(screen, lastOfWrite); break;
    case 10: newLine(screen); break;
    case 13: screen->column = 1; break;
    default: putCell(screen, byte, lastOfWrite); break;
    }
}

char colorDigit(int color) {
    return color == TerminalColor ? '.' : "0123456789abcdef"[color & 15];
}

}  // namespace

void initScreenModel(ScreenModel* screen, int width, int height, int row, int column) {
    *screen = ScreenModel();
    screen->width = width >= 1 ? width : 80;
    screen->height = height >= 1 ? height : 25;
    screen->cells.assign(static_cast<size_t>(screen->width * screen->height), Cell());
    screen->row = clampTo(row, 1, screen->height);
    screen->column = clampTo(column, 1, screen->width);
}

void writeScreenText(ScreenModel* screen, const std::string& text) {
    if (text.empty()) return;
    breakPendingLine(screen);
    for (size_t i = 0; i < text.size(); i++) {
        applyByte(screen, static_cast<unsigned char>(text[i]), i + 1 == text.size());
    }
    recordCursor(screen);
}

void moveScreenCursor(ScreenModel* screen, int row, int column) {
    int newRow = row == 0 ? screen->row : row;
    int newColumn = column == 0 ? screen->column : column;
    screen->pendingBreak = false;
    if (newRow >= 1 && newRow <= screen->height && newColumn >= 1 && newColumn <= screen->width) {
        screen->row = newRow;
        screen->column = newColumn;
    }
    recordCursor(screen);
}

void setScreenColor(ScreenModel* screen, int color) {
    screen->foreground = color & 15;
    screen->colorSet = true;
}

void breakPendingLine(ScreenModel* screen) {
    if (!screen->pendingBreak) return;
    screen->pendingBreak = false;
    newLine(screen);
    recordCursor(screen);
}

void eraseScreenBelow(ScreenModel* screen) {
    Cell blank = blankCell(*screen, 1);
    for (int row = screen->row; row <= screen->height; row++) {
        for (int column = row == screen->row ? screen->column : 1; column <= screen->width; column++) {
            cellAt(screen, row, column) = blankCell(*screen, column);
        }
    }
    if (screen->recordChanges) screen->changes.push_back(drawOp(*screen, DrawKind::Erase, blank));
}

void ringScreenBell(ScreenModel* screen) {
    if (screen->recordChanges) screen->changes.push_back(drawOp(*screen, DrawKind::Bell, Cell()));
}

void resizeScreenModel(ScreenModel* screen, int width, int height) {
    if (width < 1 || height < 1 || (width == screen->width && height == screen->height)) return;
    std::vector<Cell> cells(static_cast<size_t>(width * height), Cell());
    for (int row = 1; row <= height && row <= screen->height; row++) {
        for (int column = 1; column <= width && column <= screen->width; column++) {
            cells[static_cast<size_t>((row - 1) * width + (column - 1))] = cellAt(screen, row, column);
        }
    }
    screen->cells.swap(cells);
    screen->topRow = 0;
    screen->width = width;
    screen->height = height;
    screen->row = clampTo(screen->row, 1, height);
    screen->column = clampTo(screen->column, 1, width);
}

const Cell& screenCell(const ScreenModel& screen, int row, int column) {
    return screen.cells[rowStart(screen, row) + static_cast<size_t>(column - 1)];
}

std::string dumpScreenModel(const ScreenModel& screen) {
    std::string dump;
    for (int row = 1; row <= screen.height; row++) {
        std::string foregrounds, backgrounds;
        for (int column = 1; column <= screen.width; column++) {
            const Cell& cell = screenCell(screen, row, column);
            appendGlyph(&dump, cell.byte, true);
            foregrounds.push_back(colorDigit(cell.foreground));
            backgrounds.push_back(colorDigit(cell.background));
        }
        dump += "|" + foregrounds + "|" + backgrounds + "\n";
    }
    dump += "cursor " + std::to_string(screen.row) + "," + std::to_string(screen.column);
    dump += screen.pendingBreak ? " break\n" : "\n";
    return dump;
}
