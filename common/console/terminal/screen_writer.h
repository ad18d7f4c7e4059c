// Turns the screen model's draw operations into terminal bytes. The only sequences it emits are its own,
// built from integers: cursor position (CSI row;col H), carriage returns and line feeds to reach the
// next row and to scroll, colours (CSI ... m), erase line (CSI 2K) and to its end (CSI K), erase below
// (CSI J), the bell, and glyphs from the fixed table. It does no I/O: the caller writes the chunks.
#pragma once

#include "common/console/screen_model.h"

#include <string>
#include <vector>

// The largest chunk the writer hands out: the console writes each chunk with one write.
constexpr size_t WriterChunkSize = 1024;

// Cells blanked by a scroll or an erase take the current colours within the 80 columns the programs
// lay out, and the terminal's own colours past them on a wider screen (the model's paintedColumns). A
// terminal that rewraps its rows when narrowed (VTE) counts cells blanked in a colour as written, so a
// row blanked in black across 100 columns would gain a row of blanks of its own once 80 wide.
constexpr int PaintedColumns = 80;

// What the writer knows of the terminal: where its cursor stands and which colours it draws with.
struct ScreenWriter {
    bool utf8 = true;          // draw code page 437 glyphs as UTF-8, else plain ASCII substitutes
    bool cursorKnown = false;
    int row = 1;
    int column = 1;
    bool colorsKnown = false;
    int foreground = TerminalColor;
    int background = TerminalColor;
};

// Forgets the terminal's cursor and colours (after a resize or when something else wrote to it), so the
// next operations set both again.
void forgetTerminalState(ScreenWriter* writer);

// Appends the bytes for the operations to chunks, the last one given first, each at most WriterChunkSize
// bytes. width and height are the screen's: scrolling moves to the bottom row and feeds lines there, and
// erasing in colours stops at PaintedColumns.
void renderDrawOps(ScreenWriter* writer, const std::vector<DrawOp>& ops, int width, int height,
                   std::vector<std::string>* chunks);

// The terminal colour index (0-15 in the ANSI order: red bit 0, green bit 1, blue bit 2, bright 8)
// of a classic text-mode colour number (blue bit 0, green bit 1, red bit 2, bright 8).
int ansiColorIndex(int pcColor);
