// The screen writer against a real terminal emulator (libvterm): what the emulator shows after the
// writer's bytes must be the model's screen, cell by cell with colours, for scripted and random output;
// and the bytes must hold no sequence but the writer's own, whatever the texts contain.
#include <gtest/gtest.h>

#include "common/console/glyphs.h"
#include "common/console/screen_model.h"
#include "common/console/terminal/screen_writer.h"

#include <vterm.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// The terminal colour index for each classic text-mode colour, written out from the two palettes:
// 1 blue, 2 green, 3 cyan, 4 red, 5 magenta, 6 brown (the terminal's yellow), bright ones 8 higher.
const int AnsiIndexOfPcColor[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

// A real terminal emulator of the model's size, fed with the writer's chunks.
struct Emulator {
    VTerm* vt = nullptr;
    VTermScreen* screen = nullptr;
    int width = 0;
    int height = 0;
};

Emulator openEmulator(int width, int height) {
    Emulator emulator;
    emulator.vt = vterm_new(height, width);
    vterm_set_utf8(emulator.vt, 1);
    emulator.screen = vterm_obtain_screen(emulator.vt);
    vterm_screen_reset(emulator.screen, 1);
    emulator.width = width;
    emulator.height = height;
    return emulator;
}

void closeEmulator(Emulator* emulator) {
    vterm_free(emulator->vt);
    emulator->vt = nullptr;
}

// A console: a model, its writer and the emulator that shows the writer's bytes.
struct Rig {
    ScreenModel model;
    ScreenWriter writer;
    Emulator emulator;
    std::string output;  // every byte the writer emitted
    size_t chunkCount = 0;
    size_t largestChunk = 0;
};

void openRig(Rig* rig, int width, int height, int row, int column, bool utf8) {
    initScreenModel(&rig->model, width, height, row, column);
    rig->model.paintedColumns = PaintedColumns;
    rig->writer.utf8 = utf8;
    rig->emulator = openEmulator(width, height);
    // The emulator's cursor starts where the terminal said it stood.
    std::string start = "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H";
    vterm_input_write(rig->emulator.vt, start.data(), start.size());
}

void flush(Rig* rig) {
    std::vector<std::string> chunks;
    renderDrawOps(&rig->writer, rig->model.changes, rig->model.width, rig->model.height, &chunks);
    rig->model.changes.clear();
    for (const std::string& chunk : chunks) {
        vterm_input_write(rig->emulator.vt, chunk.data(), chunk.size());
        rig->output += chunk;
        rig->chunkCount++;
        rig->largestChunk = std::max(rig->largestChunk, chunk.size());
    }
}

void printText(Rig* rig, const std::string& text) {
    writeScreenText(&rig->model, text);
    flush(rig);
}

void printLineText(Rig* rig, const std::string& text) {
    printText(rig, text);
    printText(rig, "\r\n");
}

void moveTo(Rig* rig, int row, int column) {
    moveScreenCursor(&rig->model, row, column);
    flush(rig);
}

bool colorMatches(int modelColor, const VTermColor& shown, bool foreground) {
    if (modelColor == TerminalColor) {
        return foreground ? VTERM_COLOR_IS_DEFAULT_FG(&shown) : VTERM_COLOR_IS_DEFAULT_BG(&shown);
    }
    return VTERM_COLOR_IS_INDEXED(&shown) && shown.indexed.idx == AnsiIndexOfPcColor[modelColor];
}

// The first cell where the emulator differs from the model, or the empty text when they agree.
std::string firstDifference(const Rig& rig) {
    const ScreenModel& model = rig.model;
    for (int row = 1; row <= model.height; row++) {
        for (int column = 1; column <= model.width; column++) {
            VTermScreenCell shown;
            vterm_screen_get_cell(rig.emulator.screen, VTermPos{row - 1, column - 1}, &shown);
            const Cell& cell = screenCell(model, row, column);
            uint32_t expected = rig.writer.utf8 ? glyphCodePoint(cell.byte)
                                                : static_cast<unsigned char>(plainGlyph(cell.byte));
            uint32_t seen = shown.chars[0] == 0 ? ' ' : shown.chars[0];
            if (seen != expected || shown.width != 1 || !colorMatches(cell.foreground, shown.fg, true) ||
                !colorMatches(cell.background, shown.bg, false)) {
                return "cell " + std::to_string(row) + "," + std::to_string(column) + ": model byte " +
                       std::to_string(cell.byte) + " fg " + std::to_string(cell.foreground) + " bg " +
                       std::to_string(cell.background) + ", emulator U+" + std::to_string(seen);
            }
        }
    }
    VTermPos cursor;
    vterm_state_get_cursorpos(vterm_obtain_state(rig.emulator.vt), &cursor);
    if (cursor.row != model.row - 1 || cursor.col != model.column - 1) {
        return "cursor: model " + std::to_string(model.row) + "," + std::to_string(model.column) +
               ", emulator " + std::to_string(cursor.row + 1) + "," + std::to_string(cursor.col + 1);
    }
    return "";
}

// What a second emulator's parser saw in the writer's bytes, sequence by sequence.
struct SequenceLog {
    std::string text;                 // the printable bytes
    std::vector<std::string> faults;  // every sequence that is not one of the writer's own
};

void fault(SequenceLog* log, const std::string& what) {
    if (log->faults.size() < 20) log->faults.push_back(what);
}

int onText(const char* bytes, size_t len, void* user) {
    // The parser hands over everything up to the end; only the part before a control byte is text.
    size_t taken = 0;
    while (taken < len && static_cast<unsigned char>(bytes[taken]) >= 0x20 && bytes[taken] != 0x7F) taken++;
    static_cast<SequenceLog*>(user)->text.append(bytes, taken);
    return static_cast<int>(taken);
}

int onControl(unsigned char control, void* user) {
    if (control != '\a' && control != '\n' && control != '\r') {
        fault(static_cast<SequenceLog*>(user), "control " + std::to_string(control));
    }
    return 1;
}

int onEscape(const char* bytes, size_t len, void* user) {
    fault(static_cast<SequenceLog*>(user), "escape " + std::string(bytes, len));
    return 1;
}

bool sgrArgumentAllowed(long arg) {
    return arg == 0 || (arg >= 30 && arg <= 37) || (arg >= 40 && arg <= 47) || (arg >= 90 && arg <= 97) ||
           (arg >= 100 && arg <= 107);
}

// Only cursor position, colours, erase line (whole or to its end) and erase below, with no leader, no intermediates and plain arguments.
int onCsi(const char* leader, const long args[], int argcount, const char* intermed, char command, void* user) {
    SequenceLog* log = static_cast<SequenceLog*>(user);
    std::string name = std::string("CSI ") + command;
    if ((leader && leader[0]) || (intermed && intermed[0])) fault(log, name + " with leader or intermediates");
    for (int i = 0; i < argcount; i++) {
        long arg = CSI_ARG(args[i]);
        bool ok = command == 'H' ? (argcount == 2 && arg >= 1 && arg <= 1000)
                : command == 'm' ? sgrArgumentAllowed(arg)
                : command == 'K' ? (argcount == 1 && (arg == 2 || CSI_ARG_IS_MISSING(args[i])))
                : command == 'J' ? (argcount == 1 && CSI_ARG_IS_MISSING(args[i]))
                : false;
        if (!ok || CSI_ARG_HAS_MORE(args[i])) fault(log, name + " argument " + std::to_string(arg));
    }
    if (command != 'H' && command != 'm' && command != 'K' && command != 'J') fault(log, name);
    return 1;
}

int onOsc(const char*, size_t, void* user) {
    fault(static_cast<SequenceLog*>(user), "OSC");
    return 1;
}

int onDcs(const char*, size_t, void* user) {
    fault(static_cast<SequenceLog*>(user), "DCS");
    return 1;
}

SequenceLog parseSequences(const std::string& bytes) {
    SequenceLog log;
    VTermParserCallbacks callbacks{};
    callbacks.text = onText;
    callbacks.control = onControl;
    callbacks.escape = onEscape;
    callbacks.csi = onCsi;
    callbacks.osc = onOsc;
    callbacks.dcs = onDcs;
    VTerm* vt = vterm_new(25, 80);
    vterm_set_utf8(vt, 1);
    vterm_parser_set_callbacks(vt, &callbacks, &log);
    vterm_input_write(vt, bytes.data(), bytes.size());
    vterm_free(vt);
    return log;
}

// Decodes UTF-8; a malformed sequence gives U+FFFD, which is no glyph.
std::vector<char32_t> decodeUtf8(const std::string& text) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : 9;
        char32_t point = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : (lead & 0x0F);
        if (extra == 9 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) {
            points.push_back(0xFFFD);
            i++;
            continue;
        }
        for (size_t k = 1; k <= extra; k++) point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        points.push_back(point);
        i += extra + 1;
    }
    return points;
}

// The writer's whole output, checked sequence by sequence and glyph by glyph.
void expectOnlyOwnSequences(const std::string& output, bool utf8) {
    SequenceLog log = parseSequences(output);
    EXPECT_TRUE(log.faults.empty()) << log.faults.front();
    std::set<char32_t> glyphs;
    for (int byte = 0; byte < 256; byte++) glyphs.insert(glyphCodePoint(static_cast<unsigned char>(byte)));
    for (char32_t point : decodeUtf8(log.text)) {
        if (utf8) {
            ASSERT_TRUE(glyphs.count(point)) << "U+" << std::hex << static_cast<uint32_t>(point);
        } else {
            ASSERT_TRUE(point >= 0x20 && point < 0x7F) << "byte " << static_cast<uint32_t>(point);
        }
    }
    if (!utf8) {
        for (char byte : output) ASSERT_LT(static_cast<unsigned char>(byte), 0x80u);
    }
}

const char* const AttackStrings[] = {
    "\x1b]52;c;SGVsbG8gd29ybGQ=\x07",     // write the clipboard
    "\x1b]52;c;?\x1b\\",                   // read the clipboard
    "\x1bP$qm\x1b\\",                      // DECRQSS: the terminal answers into the input
    "\x1b[21t",                            // report the window title
    "\x1b]0;owned\x07",                    // set the window title
    "\x1b[6n",                             // ask for the cursor position
    "\x9b" "6n",                           // CSI as a C1 byte
    "\xc2\x9b" "6n",                       // CSI as a C1 character in UTF-8
    "\x1b[2J\x1b[H",                       // clear the screen
    "\x1b[?1049h",                         // switch to the other screen
    "\x1b]8;;http://x\x1b\\link\x1b]8;;\x1b\\",  // a hyperlink
    "\x1b_apc\x1b\\",                      // an application program command
    "\x1b" "c",                            // full reset
    "\x1b#8",                              // fill the screen with E
    "\x1b[1;31mred\x1b[0m",                // colours of its own
    "\r\n\t\b\a\x0b\x0c\x0e\x0f\x18\x1a\x7f",  // every control a text may hold
};

TEST(ScreenWriterTest, ExactBytesForSimpleOutput) {
    ScreenModel model;
    ScreenWriter writer;
    initScreenModel(&model, 10, 3, 3, 1);
    std::vector<std::string> chunks;
    writeScreenText(&model, "hi");
    renderDrawOps(&writer, model.changes, model.width, model.height, &chunks);
    model.changes.clear();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], "\x1b[3;1H\x1b[0mhi");

    // A colour, then a line feed on the bottom row: the scroll is a carriage return and line feed there,
    // relative to the cursor, and the new row is erased in the colours in force.
    chunks.clear();
    setScreenColor(&model, 14);
    writeScreenText(&model, "!\n");
    renderDrawOps(&writer, model.changes, model.width, model.height, &chunks);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], "\x1b[0;93;40m!\r\n\x1b[2K");

    // Past 80 columns a row erased in colours is erased again in the terminal's own colours, for the
    // scroll and for the erase below, which then puts the cursor back.
    initScreenModel(&model, 100, 3, 3, 1);
    model.paintedColumns = PaintedColumns;
    writer = ScreenWriter();
    setScreenColor(&model, 14);
    writeScreenText(&model, "\n");
    moveScreenCursor(&model, 2, 90);
    eraseScreenBelow(&model);
    chunks.clear();
    renderDrawOps(&writer, model.changes, model.width, model.height, &chunks);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], "\x1b[0;93;40m\x1b[3;1H\n\x1b[2K\x1b[3;81H\x1b[0m\x1b[K\r\x1b[2;90H\x1b[0;93;40m\x1b[J"
                         "\x1b[0m\x1b[K\x1b[3;81H\x1b[K\x1b[2;90H");
}

TEST(ScreenWriterTest, ColoursMapToTheTerminalPalette) {
    const int expectedForeground[16] = {30, 34, 32, 36, 31, 35, 33, 37, 90, 94, 92, 96, 91, 95, 93, 97};
    for (int color = 0; color < 16; color++) {
        ScreenModel model;
        ScreenWriter writer;
        initScreenModel(&model, 10, 3, 1, 1);
        setScreenColor(&model, color);
        writeScreenText(&model, "x");
        std::vector<std::string> chunks;
        renderDrawOps(&writer, model.changes, model.width, model.height, &chunks);
        ASSERT_EQ(chunks.size(), 1u);
        EXPECT_EQ(chunks[0], "\x1b[1;1H\x1b[0;" + std::to_string(expectedForeground[color]) + ";40mx") << color;
    }
}

// Scripts whose every step must show in the emulator exactly as the model has it.
TEST(ScreenWriterTest, EmulatorShowsTheModelForScriptedOutput) {
    Rig rig;
    openRig(&rig, 80, 25, 24, 1, true);
    printLineText(&rig, "before any colour");
    EXPECT_EQ(firstDifference(rig), "");
    setScreenColor(&rig.model, 14);
    printText(&rig, std::string(80, 'A'));          // fills the bottom row: the break is deferred
    EXPECT_TRUE(rig.model.pendingBreak);
    EXPECT_EQ(firstDifference(rig), "");
    moveTo(&rig, 25, 1);                            // cancels it: nothing scrolls
    printText(&rig, "\t|tab\b\bX\a");
    EXPECT_EQ(firstDifference(rig), "");
    moveTo(&rig, 25, 80);
    printText(&rig, "Z");
    setScreenColor(&rig.model, 2);
    printLineText(&rig, "");                        // two scrolls: the break, then the line feed
    EXPECT_EQ(rig.model.scrolls, 2);
    EXPECT_EQ(firstDifference(rig), "");
    setScreenColor(&rig.model, 15);
    for (int i = 0; i < 30; i++) printLineText(&rig, "line " + std::to_string(i) + std::string(i * 5, '='));
    EXPECT_EQ(firstDifference(rig), "");
    closeEmulator(&rig.emulator);
    // One column wide, a carriage return from the wrap position does not move the cursor, so it does not
    // end the pending wrap in every emulator.
    Rig narrow;
    openRig(&narrow, 1, 2, 1, 1, true);
    printText(&narrow, "abc");
    EXPECT_EQ(firstDifference(narrow), "");
    closeEmulator(&narrow.emulator);
}

TEST(ScreenWriterTest, EmulatorShowsEveryByteAsItsGlyph) {
    for (bool utf8 : {true, false}) {
        Rig rig;
        openRig(&rig, 80, 25, 1, 1, utf8);
        std::string all;
        for (int byte = 0; byte < 256; byte++) all.push_back(static_cast<char>(byte));
        printText(&rig, all);
        setScreenColor(&rig.model, 13);
        printText(&rig, all);
        EXPECT_EQ(firstDifference(rig), "") << (utf8 ? "utf8" : "plain");
        expectOnlyOwnSequences(rig.output, utf8);
        closeEmulator(&rig.emulator);
    }
}

TEST(ScreenWriterTest, AttackStringsStayText) {
    for (bool utf8 : {true, false}) {
        for (const char* attack : AttackStrings) {
            Rig rig;
            openRig(&rig, 40, 6, 3, 5, utf8);
            printText(&rig, attack);
            setScreenColor(&rig.model, 7);
            printLineText(&rig, attack);
            for (int byte = 0; byte < 256; byte++) printText(&rig, std::string(1, static_cast<char>(byte)));
            EXPECT_EQ(firstDifference(rig), "") << attack;
            expectOnlyOwnSequences(rig.output, utf8);
            closeEmulator(&rig.emulator);
        }
    }
}

// A text of random bytes, biased towards the bytes with rules of their own and towards printable ones.
std::string randomText(std::mt19937* random, int width) {
    static const char Special[] = {'\r', '\n', '\t', '\b', '\a', 0x1b, 0x00};
    std::uniform_int_distribution<int> lengthPick(0, 3 * width);
    std::uniform_int_distribution<int> kindPick(0, 9);
    std::uniform_int_distribution<int> bytePick(0, 255);
    std::uniform_int_distribution<int> printablePick(0x20, 0x7E);
    std::uniform_int_distribution<int> specialPick(0, sizeof Special - 1);
    int length = lengthPick(*random) < width ? lengthPick(*random) % 8 : lengthPick(*random);
    std::string text;
    for (int i = 0; i < length; i++) {
        int kind = kindPick(*random);
        text.push_back(kind < 6 ? static_cast<char>(printablePick(*random))
                       : kind < 8 ? Special[specialPick(*random)] : static_cast<char>(bytePick(*random)));
    }
    return text;
}

// One random operation: mostly prints, some line ends, colour changes and moves, a share of them
// aimed at the bottom row and its last cell where the edge rules live.
void randomStep(Rig* rig, std::mt19937* random) {
    const ScreenModel& model = rig->model;
    std::uniform_int_distribution<int> actPick(0, 19);
    std::uniform_int_distribution<int> rowPick(-1, model.height + 2);
    std::uniform_int_distribution<int> columnPick(-1, model.width + 2);
    std::uniform_int_distribution<int> colorPick(-3, 40);
    int act = actPick(*random);
    if (act < 9) {
        printText(rig, randomText(random, model.width));
    } else if (act < 12) {
        printLineText(rig, randomText(random, model.width));
    } else if (act < 14) {
        setScreenColor(&rig->model, colorPick(*random));
    } else if (act < 17) {
        moveTo(rig, rowPick(*random), columnPick(*random));
    } else if (act < 19) {
        moveTo(rig, model.height, model.width - static_cast<int>(act - 17));
        printText(rig, act == 17 ? "ab" : "c");
    } else {
        printText(rig, "");
    }
}

void runDifferential(int width, int height, bool utf8, unsigned seed, int steps) {
    Rig rig;
    openRig(&rig, width, height, height / 2, 1, utf8);
    std::mt19937 random(seed);
    for (int step = 0; step < steps; step++) {
        randomStep(&rig, &random);
        std::string difference = firstDifference(rig);
        if (!difference.empty()) {
            ADD_FAILURE() << width << "x" << height << " seed " << seed << " step " << step << ": " << difference;
            break;
        }
    }
    EXPECT_GT(rig.model.scrolls, 10);
    EXPECT_LE(rig.largestChunk, WriterChunkSize);
    expectOnlyOwnSequences(rig.output, utf8);
    closeEmulator(&rig.emulator);
}

TEST(ScreenWriterTest, RandomOutputDifferentialOn80By25) {
    runDifferential(80, 25, true, 20240611u, 3000);
}

TEST(ScreenWriterTest, RandomOutputDifferentialOnASmallScreen) {
    runDifferential(13, 5, true, 7u, 3000);
}

TEST(ScreenWriterTest, RandomOutputDifferentialWiderThan80) {
    runDifferential(100, 30, true, 5u, 3000);
}

TEST(ScreenWriterTest, RandomOutputDifferentialWithoutUtf8) {
    runDifferential(80, 25, false, 99u, 1500);
}

// Long output goes out in chunks of at most 1024 bytes, each ending on a whole sequence and glyph.
TEST(ScreenWriterTest, ChunksAreBoundedAndWhole) {
    ScreenModel model;
    ScreenWriter writer;
    initScreenModel(&model, 80, 25, 1, 1);
    std::string text;
    for (int i = 0; i < 6000; i++) text.push_back(static_cast<char>(i % 7 == 0 ? 0xDB : 'a' + i % 26));
    setScreenColor(&model, 10);
    writeScreenText(&model, text);
    std::vector<std::string> chunks;
    renderDrawOps(&writer, model.changes, model.width, model.height, &chunks);
    ASSERT_GT(chunks.size(), 6u);
    std::string all;
    for (const std::string& chunk : chunks) {
        ASSERT_FALSE(chunk.empty());
        ASSERT_LE(chunk.size(), WriterChunkSize);
        for (char32_t point : decodeUtf8(chunk)) ASSERT_NE(point, 0xFFFDu);
        size_t escape = chunk.rfind('\x1b');
        if (escape != std::string::npos) {
            size_t final = chunk.find_first_of("HmK", escape);
            ASSERT_NE(final, std::string::npos) << "a sequence split between chunks";
        }
        all += chunk;
    }
    expectOnlyOwnSequences(all, true);
}

// Every glyph is one column wide and none is a control, a combining mark or a direction mark, so no
// byte can move the cursor or change the terminal's state.
TEST(GlyphsTest, EveryGlyphIsOnePlainColumn) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    std::set<char32_t> seen;
    for (int byte = 0; byte < 256; byte++) {
        char32_t point = glyphCodePoint(static_cast<unsigned char>(byte));
        EXPECT_GE(point, 0x20u) << byte;
        EXPECT_FALSE(point >= 0x7F && point <= 0x9F) << byte;
        EXPECT_FALSE(point >= 0x200B && point <= 0x200F) << byte;  // zero width and direction marks
        EXPECT_FALSE(point >= 0x2028 && point <= 0x202E) << byte;  // separators and embeddings
        EXPECT_FALSE(point >= 0x2066 && point <= 0x2069) << byte;  // isolates
        EXPECT_FALSE(point >= 0x0300 && point <= 0x036F) << byte;  // combining marks
        EXPECT_EQ(wcwidth(static_cast<wchar_t>(point)), 1) << byte;
        std::string utf8;
        appendGlyph(&utf8, static_cast<unsigned char>(byte), true);
        std::vector<char32_t> decoded = decodeUtf8(utf8);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0], point);
        seen.insert(point);
    }
    EXPECT_EQ(seen.size(), 255u);  // only 0 and the blank share a glyph
    std::setlocale(LC_CTYPE, "C");
}

TEST(GlyphsTest, CodePage437Values) {
    const struct { int byte; char32_t point; } rows[] = {
        {0x00, 0x20}, {0x01, 0x263A}, {0x07, 0x2022}, {0x0A, 0x25D9}, {0x10, 0x25BA}, {0x11, 0x25C4},
        {0x1B, 0x2190}, {0x20, 0x20}, {0x41, 'A'}, {0x7E, '~'}, {0x7F, 0x2302}, {0x80, 0xC7},
        {0x9B, 0xA2}, {0xB0, 0x2591}, {0xC4, 0x2500}, {0xDB, 0x2588}, {0xE1, 0xDF}, {0xE6, 0xB5},
        {0xF9, 0x2219}, {0xFA, 0xB7}, {0xFE, 0x25A0}, {0xFF, 0xA0},
    };
    for (const auto& row : rows) EXPECT_EQ(glyphCodePoint(static_cast<unsigned char>(row.byte)), row.point) << row.byte;
    for (int byte = 0x20; byte < 0x7F; byte++) EXPECT_EQ(glyphCodePoint(static_cast<unsigned char>(byte)), char32_t(byte));
}

TEST(GlyphsTest, PlainSubstitutes) {
    const struct { int byte; char glyph; } rows[] = {
        {0x00, ' '}, {0x01, '?'}, {0x07, '?'}, {0x1B, '?'}, {0x20, ' '}, {'A', 'A'}, {'~', '~'},
        {0x7F, '?'}, {0x80, '?'}, {0x9B, '?'}, {0xDB, '?'}, {0xFF, ' '},
    };
    for (const auto& row : rows) EXPECT_EQ(plainGlyph(static_cast<unsigned char>(row.byte)), row.glyph) << row.byte;
}

}  // namespace
