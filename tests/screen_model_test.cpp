// The screen model's output rules as golden screens: wrapping, scrolling, the deferred break in the
// bottom-right cell, tabs, backspace, line ends, cursor moves and colours, dumped with each cell's colours.
#include <gtest/gtest.h>

#include "common/console/screen_model.h"

#include <string>
#include <vector>

namespace {

// One step of a script: print, printLine (the text, then the line end as a write of its own),
// setTextColor, moveCursor, resize.
enum class Act { Print, PrintLine, Color, Move, Resize };

struct Step {
    Act act;
    std::string text;
    int a = 0;
    int b = 0;
};

Step print(const std::string& text) { return {Act::Print, text}; }
Step printLine(const std::string& text) { return {Act::PrintLine, text}; }
Step color(int c) { return {Act::Color, "", c}; }
Step move(int row, int column) { return {Act::Move, "", row, column}; }
Step resize(int width, int height) { return {Act::Resize, "", width, height}; }

void apply(ScreenModel* screen, const Step& step) {
    switch (step.act) {
    case Act::Print: writeScreenText(screen, step.text); break;
    case Act::PrintLine:
        writeScreenText(screen, step.text);
        writeScreenText(screen, "\r\n");
        break;
    case Act::Color: setScreenColor(screen, step.a); break;
    case Act::Move: moveScreenCursor(screen, step.a, step.b); break;
    case Act::Resize: resizeScreenModel(screen, step.a, step.b); break;
    }
}

struct Golden {
    const char* name;
    int width, height, row, column;
    std::vector<Step> steps;
    std::vector<std::string> dump;  // the rows, then the cursor line
};

std::string joinLines(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

// The small screens keep the goldens readable; the rules do not depend on the size.
const std::vector<Golden>& goldens() {
    static const std::vector<Golden> cases = {
        {"text fills cells and leaves the cursor behind it", 10, 4, 2, 3, {print("abc")},
         {"          |..........|..........",
          "  abc     |..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "cursor 2,6"}},
        {"a full row wraps to column 1 of the next row", 10, 4, 2, 1, {print("0123456789")},
         {"          |..........|..........",
          "0123456789|..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "cursor 3,1"}},
        {"printLine of a full row leaves one empty row", 10, 4, 1, 1, {printLine("0123456789")},
         {"0123456789|..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "cursor 3,1"}},
        {"printLine on the bottom row scrolls at once", 10, 4, 1, 1,
         {printLine("one"), printLine("two"), printLine("three"), print("four"), printLine("!")},
         {"two       |..........|..........",
          "three     |..........|..........",
          "four!     |..........|..........",
          "          |..........|..........",
          "cursor 4,1"}},
        {"the bottom-right cell defers its break", 10, 4, 4, 8, {print("xyz")},
         {"          |..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "       xyz|..........|..........",
          "cursor 4,10 break"}},
        {"the next write carries out the deferred break", 10, 4, 4, 8, {print("xyz"), print("n")},
         {"          |..........|..........",
          "          |..........|..........",
          "       xyz|..........|..........",
          "n         |..........|..........",
          "cursor 4,2"}},
        {"the empty write keeps the break pending", 10, 4, 4, 8, {print("xyz"), print("")},
         {"          |..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "       xyz|..........|..........",
          "cursor 4,10 break"}},
        {"a move cancels the deferred break", 10, 4, 4, 8, {print("xyz"), move(4, 1), print("n")},
         {"          |..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "n      xyz|..........|..........",
          "cursor 4,2"}},
        {"a move off the screen also cancels it", 10, 4, 4, 8, {print("xyz"), move(9, 1), print("n")},
         {"          |..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "       xyn|..........|..........",
          "cursor 4,10 break"}},
        {"a full bottom row with more to follow scrolls", 10, 4, 4, 1, {print("0123456789AB")},
         {"          |..........|..........",
          "          |..........|..........",
          "0123456789|..........|..........",
          "AB        |..........|..........",
          "cursor 4,3"}},
        {"the bottom-right cell before a line end scrolls twice", 10, 4, 4, 1, {printLine("0123456789")},
         {"          |..........|..........",
          "0123456789|..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "cursor 4,1"}},
        {"a carriage return after the bottom-right cell in one write", 10, 4, 4, 9, {print("ab\rc")},
         {"          |..........|..........",
          "          |..........|..........",
          "        ab|..........|..........",
          "c         |..........|..........",
          "cursor 4,2"}},
        {"a line feed on the bottom row as the last byte scrolls", 10, 4, 4, 1, {print("a\n")},
         {"          |..........|..........",
          "          |..........|..........",
          "a         |..........|..........",
          "          |..........|..........",
          "cursor 4,1"}},
        {"carriage return and line feed inside a text", 10, 4, 2, 5, {print("A\r\nB")},
         {"          |..........|..........",
          "    A     |..........|..........",
          "B         |..........|..........",
          "          |..........|..........",
          "cursor 3,2"}},
        {"a line feed alone also returns to column 1", 10, 4, 1, 4, {print("a\nb")},
         {"   a      |..........|..........",
          "b         |..........|..........",
          "          |..........|..........",
          "          |..........|..........",
          "cursor 2,2"}},
        {"tabs write blanks up to the next stop, at least one", 20, 3, 1, 1,
         {color(2), print("\t"), move(2, 8), print("\t|"), move(3, 9), print("\tx")},
         {"                    |22222222............|00000000............",
          "        |           |.......22...........|.......00...........",
          "                x   |........222222222...|........000000000...",
          "cursor 3,18"}},
        {"a tab near the right edge wraps to column 1", 20, 3, 1, 19, {color(7), print("\tz")},
         {"                    |..................77|..................00",
          "z                   |7...................|0...................",
          "                    |....................|....................",
          "cursor 2,2"}},
        {"a tab as the last byte can defer the break", 20, 2, 2, 17, {print("\t")},
         {"                    |....................|....................",
          "                    |....................|....................",
          "cursor 2,20 break"}},
        {"backspace moves left without erasing, not past column 1", 10, 3, 1, 1,
         {print("\bab\bc"), move(2, 1), print("x\b\b\by")},
         {"ac        |..........|..........",
          "y         |..........|..........",
          "          |..........|..........",
          "cursor 2,2"}},
        {"the bell writes nothing", 10, 2, 1, 1, {print("a\ab")},
         {"ab        |..........|..........",
          "          |..........|..........",
          "cursor 1,3"}},
        {"control bytes and high bytes fill cells", 10, 2, 1, 1,
         {print(std::string("\x1b[2J\x01\x7f\xdb\x00", 8))},
         {"←[2J☺⌂█   |..........|..........",
          "          |..........|..........",
          "cursor 1,9"}},
        {"moves: 0 keeps, off the screen stays", 10, 4, 2, 3,
         {move(0, 7), print("a"), move(3, 0), print("b"), move(5, 1), print("c"), move(1, 11), print("d"),
          move(0, -1), move(-2, 0), print("e")},
         {"          |..........|..........",
          "      a   |..........|..........",
          "       bcd|..........|..........",
          "e         |..........|..........",
          "cursor 4,2"}},
        {"colours: only the low 4 bits, the background stays black", 10, 2, 1, 1,
         {print("t"), color(18), print("g"), color(15), print("w"), color(16), print("k"), color(0x2d), print("m")},
         {"tgwkm     |.2f0d.....|.0000.....",
          "          |..........|..........",
          "cursor 1,6"}},
        {"rows blanked by a scroll take the colours in force", 10, 3, 3, 1,
         {print("a\n"), color(14), print("b\n")},
         {"a         |..........|..........",
          "b         |e.........|0.........",
          "          |eeeeeeeeee|0000000000",
          "cursor 3,1"}},
        {"a resize keeps what fits and clamps the cursor", 10, 4, 4, 9,
         {print("ab"), move(1, 1), print("top"), move(4, 10), resize(6, 2)},
         {"top   |......|......",
          "      |......|......",
          "cursor 2,6"}},
        {"a resize to a larger screen keeps everything", 4, 2, 1, 1, {print("abcdefgh"), resize(6, 3)},
         {"abcd  |......|......",
          "efgh  |......|......",
          "      |......|......",
          "cursor 2,4 break"}},
    };
    return cases;
}

TEST(ScreenModelTest, GoldenScreens) {
    for (const Golden& golden : goldens()) {
        ScreenModel screen;
        initScreenModel(&screen, golden.width, golden.height, golden.row, golden.column);
        for (const Step& step : golden.steps) apply(&screen, step);
        EXPECT_EQ(dumpScreenModel(screen), joinLines(golden.dump)) << golden.name;
    }
}

// Scrolls that go round the stored rows more than once, with moves, a multi-row scroll and a resize
// after them: the rows keep their order and colours.
TEST(ScreenModelTest, ScreensThatScrolledManyTimes) {
    const std::vector<Golden> cases = {
        {"seven lines through three rows", 4, 3, 1, 1,
         {printLine("1"), printLine("2"), color(2), printLine("3"), printLine("4"), printLine("5"),
          printLine("6"), print("7")},
         {"5   |2222|0000",
          "6   |2222|0000",
          "7   |2222|0000",
          "cursor 3,2"}},
        {"a move and a write after the rows went round", 4, 3, 3, 1,
         {print("a\nb\nc\nd\ne"), move(1, 2), print("X"), print("\n\n\n\nf")},
         {"e   |....|....",
          "    |....|....",
          "f   |....|....",
          "cursor 3,2"}},
        {"a wrap over several rows scrolls them at once", 3, 3, 3, 1, {print("abcdefghijk")},
         {"def|...|...",
          "ghi|...|...",
          "jk |...|...",
          "cursor 3,3"}},
        {"a resize after the rows went round keeps them in place", 4, 3, 3, 1,
         {print("a\nb\nc\nd"), resize(3, 2)},
         {"b  |...|...",
          "c  |...|...",
          "cursor 2,2"}},
    };
    for (const Golden& golden : cases) {
        ScreenModel screen;
        initScreenModel(&screen, golden.width, golden.height, golden.row, golden.column);
        for (const Step& step : golden.steps) apply(&screen, step);
        EXPECT_EQ(dumpScreenModel(screen), joinLines(golden.dump)) << golden.name;
    }
}

// The figures the programs' layout rests on, on the real 80 by 25 screen.
TEST(ScreenModelTest, EightyColumnLineAndBottomRow) {
    ScreenModel screen;
    initScreenModel(&screen, 80, 25, 10, 1);
    writeScreenText(&screen, std::string(80, 'L'));
    EXPECT_EQ(screen.row, 11);
    EXPECT_EQ(screen.column, 1);
    writeScreenText(&screen, "\r\n");
    EXPECT_EQ(screen.row, 12);
    EXPECT_EQ(screenCell(screen, 10, 80).byte, 'L');
    EXPECT_EQ(screenCell(screen, 11, 1).byte, ' ');

    moveScreenCursor(&screen, 25, 1);
    writeScreenText(&screen, std::string(80, 'B'));
    EXPECT_EQ(screen.row, 25);
    EXPECT_EQ(screen.column, 80);
    EXPECT_TRUE(screen.pendingBreak);
    EXPECT_EQ(screen.scrolls, 0);
    writeScreenText(&screen, "\r\n");
    EXPECT_EQ(screen.scrolls, 2);
    EXPECT_EQ(screenCell(screen, 23, 1).byte, 'B');
    EXPECT_EQ(screenCell(screen, 12, 80).byte, ' ');
    EXPECT_EQ(screenCell(screen, 8, 1).byte, 'L');
}

TEST(ScreenModelTest, MoveToRow25OnAShorterScreenStays) {
    ScreenModel screen;
    initScreenModel(&screen, 80, 24, 7, 9);
    moveScreenCursor(&screen, 25, 1);
    EXPECT_EQ(screen.row, 7);
    EXPECT_EQ(screen.column, 9);
    moveScreenCursor(&screen, 0, 1);
    EXPECT_EQ(screen.row, 7);
    EXPECT_EQ(screen.column, 1);
}

TEST(ScreenModelTest, UnusableSizeFallsBackTo80By25) {
    ScreenModel screen;
    initScreenModel(&screen, 0, -3, 40, 100);
    EXPECT_EQ(screen.width, 80);
    EXPECT_EQ(screen.height, 25);
    EXPECT_EQ(screen.row, 25);
    EXPECT_EQ(screen.column, 80);
}

// What the writer is told: runs per row and colour, merged scrolls, bells in order, the final cursor.
TEST(ScreenModelTest, DrawOperationsOfOneWrite) {
    ScreenModel screen;
    initScreenModel(&screen, 10, 3, 3, 8);
    setScreenColor(&screen, 13);
    writeScreenText(&screen, "abcd\n\n\a\rx");
    const std::vector<DrawOp>& ops = screen.changes;
    ASSERT_EQ(ops.size(), 7u);
    EXPECT_EQ(ops[0].kind, DrawKind::Cells);
    EXPECT_EQ(ops[0].bytes, "abc");
    EXPECT_EQ(ops[0].row, 3);
    EXPECT_EQ(ops[0].column, 8);
    EXPECT_EQ(ops[0].foreground, 13);
    EXPECT_EQ(ops[0].background, 0);
    EXPECT_EQ(ops[1].kind, DrawKind::Scroll);  // the wrap after c
    EXPECT_EQ(ops[1].count, 1);
    EXPECT_EQ(ops[2].kind, DrawKind::Cells);
    EXPECT_EQ(ops[2].bytes, "d");
    EXPECT_EQ(ops[2].row, 3);
    EXPECT_EQ(ops[2].column, 1);
    EXPECT_EQ(ops[3].kind, DrawKind::Scroll);  // the two line feeds, merged
    EXPECT_EQ(ops[3].count, 2);
    EXPECT_EQ(ops[3].foreground, 13);
    EXPECT_EQ(ops[3].background, 0);
    EXPECT_EQ(ops[4].kind, DrawKind::Bell);
    EXPECT_EQ(ops[5].kind, DrawKind::Cells);
    EXPECT_EQ(ops[5].bytes, "x");
    EXPECT_EQ(ops[5].column, 1);
    EXPECT_EQ(ops[6].kind, DrawKind::Cursor);
    EXPECT_EQ(ops[6].row, 3);
    EXPECT_EQ(ops[6].column, 2);
    EXPECT_EQ(screen.scrolls, 3);
}

}  // namespace
