// Fuzzes the console's output half: arbitrary texts, colours and cursor moves are applied to the screen
// model, and the writer's bytes are rendered by libvterm. The emulator must end up showing exactly what the
// model holds (glyphs, colours, cursor), and the bytes may hold nothing but the writer's own sequences:
// no OSC, DCS, APC, PM or SOS, no C1 control, no control byte but ESC (of a CSI), BEL, CR and LF, and only the
// CSI finals H, m and K.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <vterm.h>

#include "common/console/glyphs.h"
#include "common/console/screen_model.h"
#include "common/console/terminal/screen_writer.h"

namespace {

void fail(const char* what, int row = 0, int column = 0) {
    std::fprintf(stderr, "console output: %s (row %d, column %d)\n", what, row, column);
    std::abort();
}

int onText(const char*, size_t, void*) { return 1; }
int onControl(unsigned char control, void*) {
    if (control != 0x07 && control != 0x0a && control != 0x0d) fail("foreign control byte", control);
    return 1;
}
int onEscape(const char*, size_t, void*) {
    fail("an escape sequence that is not a CSI");
    return 1;
}
int onCsi(const char* leader, const long*, int, const char* intermed, char command, void*) {
    if ((leader != nullptr && leader[0] != 0) || (intermed != nullptr && intermed[0] != 0))
        fail("CSI with a leader or intermediate");
    if (command != 'H' && command != 'm' && command != 'K') fail("CSI final not on the whitelist", command);
    return 1;
}
int onOsc(const char*, size_t, void*) {
    fail("OSC emitted");
    return 1;
}
int onDcs(const char*, size_t, void*) {
    fail("DCS emitted");
    return 1;
}

const VTermParserCallbacks ParserChecks = {onText, onControl, onEscape, onCsi, onOsc, onDcs, nullptr};

// Walks the bytes as UTF-8: no C1 code point, no DEL, and ESC only as the start of "ESC [".
void checkBytes(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead == 0x1b && (i + 1 >= bytes.size() || bytes[i + 1] != '[')) fail("ESC outside a CSI");
        if (lead == 0x7f) fail("DEL emitted");
        if (lead < 0x80) { ++i; continue; }
        size_t n = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
        if (n == 0 || i + n > bytes.size()) fail("invalid UTF-8");
        unsigned long code = lead & (0x7f >> n);
        for (size_t k = 1; k < n; ++k) code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3f);
        if (code >= 0x80 && code <= 0x9f) fail("C1 control emitted as UTF-8");
        i += n;
    }
}

bool sameColor(const VTermColor& color, int classic, bool foreground) {
    if (classic == TerminalColor)
        return foreground ? VTERM_COLOR_IS_DEFAULT_FG(&color) : VTERM_COLOR_IS_DEFAULT_BG(&color);
    return VTERM_COLOR_IS_INDEXED(&color) && color.indexed.idx == ansiColorIndex(classic);
}

char32_t expectedGlyph(unsigned char byte, bool utf8) {
    return utf8 ? glyphCodePoint(byte) : static_cast<char32_t>(plainGlyph(byte));
}

void compareScreens(const ScreenModel& model, bool utf8, VTermScreen* screen, VTermState* state) {
    for (int row = 1; row <= model.height; ++row) {
        for (int column = 1; column <= model.width; ++column) {
            const Cell& cell = screenCell(model, row, column);
            VTermScreenCell shown;
            vterm_screen_get_cell(screen, VTermPos{row - 1, column - 1}, &shown);
            char32_t want = expectedGlyph(cell.byte, utf8);
            char32_t got = shown.chars[0] == 0 ? U' ' : shown.chars[0];
            if (got != want) fail("emulator shows another glyph", row, column);
            if (!sameColor(shown.bg, cell.background, false)) fail("background differs", row, column);
            if (want != U' ' && want != 0xA0 && !sameColor(shown.fg, cell.foreground, true))
                fail("foreground differs", row, column);
        }
    }
    VTermPos cursor;
    vterm_state_get_cursorpos(state, &cursor);
    if (cursor.row != model.row - 1 || cursor.col != model.column - 1)
        fail("emulator cursor differs", cursor.row + 1, cursor.col + 1);
}

struct Emulators {
    VTerm* terminal;  // the screen the user would see
    VTerm* parser;    // the same bytes through the bare parser, for the sequence checks
};

void render(ScreenModel& model, ScreenWriter& writer, Emulators& emulators) {
    std::vector<std::string> chunks;
    renderDrawOps(&writer, model.changes, model.width, model.height, &chunks);
    model.changes.clear();
    for (const std::string& chunk : chunks) {
        if (chunk.size() > WriterChunkSize) fail("chunk larger than the writer promises");
        checkBytes(chunk);
        vterm_input_write(emulators.parser, chunk.data(), chunk.size());
        vterm_input_write(emulators.terminal, chunk.data(), chunk.size());
    }
}

// Applies one operation from the input; returns the bytes it used.
size_t applyOperation(ScreenModel& model, const uint8_t* data, size_t size) {
    switch (data[0] % 5) {
    case 0: case 1: {  // a text, the most common operation
        if (size < 2) return size;
        size_t length = data[1];
        if (length > size - 2) length = size - 2;
        writeScreenText(&model, std::string(reinterpret_cast<const char*>(data + 2), length));
        return 2 + length;
    }
    case 2:
        setScreenColor(&model, size > 1 ? static_cast<int8_t>(data[1]) : 0);
        return 2;
    case 3: {  // moves include 0 (keep) and positions off the screen
        int row = size > 1 ? data[1] % (model.height + 3) - 1 : 0;
        int column = size > 2 ? data[2] % (model.width + 3) - 1 : 0;
        moveScreenCursor(&model, row, column);
        return 3;
    }
    default:
        breakPendingLine(&model);
        return 1;
    }
}

}  // namespace

// Input: width, height, start row, start column, a flag byte (bit 0: a terminal without UTF-8), then
// operations.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    int width = 1 + data[0] % 100, height = 1 + data[1] % 30;
    ScreenModel model;
    initScreenModel(&model, width, height, 1 + data[2] % height, 1 + data[3] % width);
    model.paintedColumns = PaintedColumns;
    ScreenWriter writer;
    writer.utf8 = (data[4] & 1) == 0;
    Emulators emulators{vterm_new(height, width), vterm_new(height, width)};
    vterm_set_utf8(emulators.terminal, 1);
    vterm_set_utf8(emulators.parser, 1);
    vterm_parser_set_callbacks(emulators.parser, &ParserChecks, nullptr);
    VTermScreen* screen = vterm_obtain_screen(emulators.terminal);
    vterm_screen_reset(screen, 1);
    // The emulator's cursor starts where the terminal reported it, as the console's does.
    std::string start = "\x1b[" + std::to_string(model.row) + ";" + std::to_string(model.column) + "H";
    vterm_input_write(emulators.terminal, start.data(), start.size());
    for (size_t at = 5; at < size;) {
        at += applyOperation(model, data + at, size - at);
        render(model, writer, emulators);
    }
    compareScreens(model, writer.utf8, screen, vterm_obtain_state(emulators.terminal));
    vterm_free(emulators.terminal);
    vterm_free(emulators.parser);
    return 0;
}
