// Where inputText's edited line stands on the screen, and drawing it there through the console's own
// output operations, so that both forms of the layer draw the line alike.
#pragma once

#include "common/console/line_editor.h"

// The line's first position is a cell that moves up with every scroll.
struct LineView {
    int row = 1;
    int column = 1;
    long long scrolls = 0;
};

// A view whose line starts at the cursor.
LineView lineViewAtCursor();

// Puts the cursor on a position of the line, scrolling when it lies just below the bottom row.
void placeCursor(const LineView& view, int position);

// Writes the line again from position from on, blanking what a shorter line left behind.
// Rows that scrolled off the top are not drawn.
void redrawLine(const LineView& view, const LineEditor& editor, int from, int oldLength);
