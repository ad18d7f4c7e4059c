#include "common/console/line_view.h"

#include "common/console/console.h"
#include "common/console/console_internal.h"

#include <algorithm>

void cellAt(const LineView& view, int position, int width, int* row, int* column) {
    int index = view.column - 1 + position;
    int rows = index >= 0 ? index / width : -((width - 1 - index) / width);
    *row = view.row - static_cast<int>(scrollCount() - view.scrolls) + rows;
    *column = index - rows * width + 1;
}

void anchorAtCursor(LineView& view) {
    view.row = cursorRow();
    view.column = cursorColumn();
    view.scrolls = scrollCount();
    view.width = screenWidth();
}

void placeCursor(const LineView& view, int position) {
    int row = 0, column = 0;
    cellAt(view, position, screenWidth(), &row, &column);
    while (row > screenHeight()) {
        moveCursor(screenHeight(), 1);
        print("\n");
        cellAt(view, position, screenWidth(), &row, &column);
    }
    if (row >= 1) moveCursor(row, column);
}

void redrawLine(const LineView& view, const LineEditor& editor, int from, int oldLength) {
    int row = 0, column = 0;
    cellAt(view, from, screenWidth(), &row, &column);
    if (row < 1) {
        int firstVisible = (1 - row) * screenWidth() - (column - 1);
        from += firstVisible;
    }
    int length = textLength(editor.line);
    Text text = from < length ? editor.line.substr(static_cast<std::size_t>(from)) : Text();
    if (oldLength > length) text += Text(static_cast<std::size_t>(oldLength - std::max(length, from)), ' ');
    if (text.empty()) return;
    placeCursor(view, from);
    print(text);
}
