#include "common/console/terminal/screen_writer.h"

#include "common/console/glyphs.h"

#include <algorithm>

namespace {

using Chunks = std::vector<std::string>;

// Adds a piece to the last chunk, or to a new one where it would pass WriterChunkSize: no sequence or glyph
// is ever split across two chunks.
void addPiece(Chunks* chunks, const std::string& piece) {
    if (chunks->empty() || chunks->back().size() + piece.size() > WriterChunkSize) chunks->emplace_back();
    chunks->back() += piece;
}

// Column 1 of the cursor's row or of the row below is reached by a carriage return and a line feed:
// moves relative to the terminal's cursor, which stay right when the window is resized while output is
// on its way (the terminal may have pulled rows down from its scrollback or pushed them off). Each ends
// a pending wrap by moving the cursor; from column 2 a carriage return alone might not move it (on a
// screen one column wide that is the wrap position), so there the position is set. Any other place is
// a cursor position.
void moveTo(ScreenWriter* writer, Chunks* out, int row, int column) {
    if (writer->cursorKnown && writer->row == row && writer->column == column) return;
    bool sameRow = row == writer->row && writer->column > 2;
    if (writer->cursorKnown && column == 1 && (sameRow || row == writer->row + 1)) {
        addPiece(out, sameRow ? "\r" : "\r\n");
    } else {
        addPiece(out, "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H");
    }
    writer->cursorKnown = true;
    writer->row = row;
    writer->column = column;
}

// The SGR parameter of a colour: base (30 foreground, 40 background) plus its index, bright ones 60 more.
int colorParameter(int pcColor, int base) {
    int index = ansiColorIndex(pcColor);
    return index < 8 ? base + index : base + 60 + index - 8;
}

// Reset first, so that no attribute another program left behind (bold, inverse, ...) stays in force.
// The terminal's own colours are the reset alone.
void useColors(ScreenWriter* writer, Chunks* out, int foreground, int background) {
    if (writer->colorsKnown && writer->foreground == foreground && writer->background == background) return;
    std::string sgr = "\x1b[0";
    if (foreground != TerminalColor) sgr += ";" + std::to_string(colorParameter(foreground, 30));
    if (background != TerminalColor) sgr += ";" + std::to_string(colorParameter(background, 40));
    addPiece(out, sgr + "m");
    writer->colorsKnown = true;
    writer->foreground = foreground;
    writer->background = background;
}

// Each run starts with its own cursor position, so the terminal never wraps by itself: a run that ends
// in the last column leaves the terminal's wrap pending, and the next position is always set explicitly
// (the column past the run is never a position the model asks for).
void drawCells(ScreenWriter* writer, Chunks* out, const DrawOp& op) {
    moveTo(writer, out, op.row, op.column);
    useColors(writer, out, op.foreground, op.background);
    std::string glyph;
    for (char byte : op.bytes) {
        glyph.clear();
        appendGlyph(&glyph, static_cast<unsigned char>(byte), writer->utf8);
        addPiece(out, glyph);
    }
    writer->column += static_cast<int>(op.bytes.size());
}

// A row erased in colours past PaintedColumns is erased again there in the terminal's own colours,
// which leaves a rewrapping terminal no written cell past them.
void cutAtPaintedColumns(ScreenWriter* writer, Chunks* out, const DrawOp& op, int row, int column,
                         int width) {
    bool colored = op.foreground != TerminalColor || op.background != TerminalColor;
    if (!colored || width <= PaintedColumns) return;
    moveTo(writer, out, row, std::max(column, PaintedColumns + 1));
    useColors(writer, out, TerminalColor, TerminalColor);
    addPiece(out, "\x1b[K");
}

// A line feed on the bottom row scrolls the whole screen in every terminal. Terminals differ in the
// colours of the rows that come in, so each is erased again in the scroll's colours as it comes.
void drawScroll(ScreenWriter* writer, Chunks* out, const DrawOp& op, int width, int height) {
    int rows = std::min(op.count, height);
    for (int row = 0; row < rows; row++) {
        useColors(writer, out, op.foreground, op.background);
        moveTo(writer, out, height, 1);
        addPiece(out, "\n\x1b[2K");
        cutAtPaintedColumns(writer, out, op, height, 1, width);
    }
}

void drawErase(ScreenWriter* writer, Chunks* out, const DrawOp& op, int width, int height) {
    moveTo(writer, out, op.row, op.column);
    useColors(writer, out, op.foreground, op.background);
    addPiece(out, "\x1b[J");
    if (width <= PaintedColumns) return;
    for (int row = op.row; row <= height; row++) {
        cutAtPaintedColumns(writer, out, op, row, row == op.row ? op.column : 1, width);
    }
    moveTo(writer, out, op.row, op.column);
}

}  // namespace

int ansiColorIndex(int pcColor) {
    int red = (pcColor >> 2) & 1, green = (pcColor >> 1) & 1, blue = pcColor & 1;
    return (red | green << 1 | blue << 2) | (pcColor & 8);
}

void forgetTerminalState(ScreenWriter* writer) {
    writer->cursorKnown = false;
    writer->colorsKnown = false;
}

void renderDrawOps(ScreenWriter* writer, const std::vector<DrawOp>& ops, int width, int height,
                   std::vector<std::string>* chunks) {
    for (const DrawOp& op : ops) {
        switch (op.kind) {
        case DrawKind::Cells: drawCells(writer, chunks, op); break;
        case DrawKind::Scroll: drawScroll(writer, chunks, op, width, height); break;
        case DrawKind::Bell: addPiece(chunks, "\a"); break;
        case DrawKind::Cursor: moveTo(writer, chunks, op.row, op.column); break;
        case DrawKind::Erase: drawErase(writer, chunks, op, width, height); break;
        }
    }
}
