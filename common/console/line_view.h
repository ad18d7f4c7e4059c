// Where inputText's edited line stands on the screen, and drawing it there through the console's own
// output operations; part of the console's front, so the line is drawn alike over either back end.
#pragma once

#include "common/console/line_editor.h"

// The line's first position is a cell that moves up with every scroll. The prompt stands right before it.
struct LineView {
    int row = 1;
    int column = 1;
    long long scrolls = 0;
    int width = 80;     // the screen's width when the place was learned
    Text prompt;        // the prompt and "? "
    // The prompt and the line fill one row of the terminal, or rows that the terminal itself wrapped,
    // from column 1 on; the line's first byte is then cell lineStart (from 0) of that terminal line.
    bool oneTerminalLine = false;
    int lineStart = 0;
    int resumes = 0;    // the screen's count of resumes after a stop, as last seen
};

// Moves the view's first position to the cursor, at the screen's width now.
void anchorAtCursor(LineView& view);

// The cell of a position at a width; the prompt's positions count back from 0.
void cellAt(const LineView& view, int position, int width, int* row, int* column);

// Puts the cursor on a position of the line, scrolling when it lies just below the bottom row.
void placeCursor(const LineView& view, int position);

// Writes the line again from position from on, blanking what a shorter line left behind.
// Rows that scrolled off the top are not drawn.
void redrawLine(const LineView& view, const LineEditor& editor, int from, int oldLength);
