// The line editor's rules for each key: insert, Tab stops, Backspace, Del, the moves, Esc, Enter.
#include "common/console/console.h"
#include "common/console/line_editor.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int Width = 80;
const int Left = extendedKey(75), Right = extendedKey(77), Home = extendedKey(71);
const int End = extendedKey(79), Up = extendedKey(72), Down = extendedKey(80), Del = extendedKey(83);

LineEditor typed(const std::vector<int>& keys, int width = Width) {
    LineEditor editor;
    int from = 0;
    for (int key : keys) editLine(editor, key, width, &from);
    return editor;
}

std::vector<int> keysOf(const char* text) {
    std::vector<int> keys;
    for (const char* p = text; *p; ++p) keys.push_back(static_cast<unsigned char>(*p));
    return keys;
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(LineEditorTest, KeysGiveTheLineAndPosition) {
    struct Row {
        const char* name;
        std::vector<int> keys;
        Text line;
        int position;
    };
    const Row rows[] = {
        {"typing", keysOf("abc"), "abc", 3},
        {"insert in the middle", keysOf("ac") + std::vector<int>{Left, 'b'}, "abc", 2},
        {"bytes up to 255", {0x80, 0xff, 32}, "\x80\xff ", 3},
        {"tab from 0 gives 8", {9}, Text(8, ' '), 8},
        {"tab to the next stop", keysOf("abc") + std::vector<int>{9}, "abc     ", 8},
        {"tab on a stop gives 8", keysOf("12345678") + std::vector<int>{9, 'x'}, "12345678        x", 17},
        {"tab inside the line", keysOf("ab") + std::vector<int>{Home, 9}, "        ab", 8},
        {"backspace", keysOf("abc") + std::vector<int>{8}, "ab", 2},
        {"backspace at 0", keysOf("ab") + std::vector<int>{Home, 8}, "ab", 0},
        {"backspace inside", keysOf("abc") + std::vector<int>{Left, 8}, "ac", 1},
        {"del under the cursor", keysOf("abc") + std::vector<int>{Home, Del}, "bc", 0},
        {"del at the end", keysOf("abc") + std::vector<int>{Del}, "abc", 3},
        {"left stops at 0", keysOf("ab") + std::vector<int>{Left, Left, Left}, "ab", 0},
        {"right stops at the end", keysOf("ab") + std::vector<int>{Home, Right, Right, Right}, "ab", 2},
        {"home and end", keysOf("abc") + std::vector<int>{Home, 'x', End, 'y'}, "xabcy", 5},
        {"esc clears", keysOf("abc") + std::vector<int>{27, 'z'}, "z", 1},
        {"control bytes are ignored", {1, 'a', 26, 0x1f, 'b'}, "ab", 2},
        {"other extended keys are ignored", {extendedKey(59), 'a', extendedKey(141), CloseRequestKey}, "a", 1},
        {"enter ends; later keys do nothing", keysOf("ab") + std::vector<int>{13, 'c'}, "ab", 2},
        {"line feed ends too", keysOf("ab") + std::vector<int>{10, 'c'}, "ab", 2},
    };
    for (const Row& row : rows) {
        LineEditor editor = typed(row.keys);
        EXPECT_EQ(editor.line, row.line) << row.name;
        EXPECT_EQ(editor.position, row.position) << row.name;
    }
}

TEST(LineEditorTest, UpAndDownMoveOneScreenWidthWhenTheLineIsLongEnough) {
    LineEditor editor = typed(std::vector<int>(25, 'x'), 10);
    int from = 0;
    EXPECT_EQ(editLine(editor, Up, 10, &from), EditOutcome::Moved);
    EXPECT_EQ(editor.position, 15);
    editLine(editor, Up, 10, &from);
    editLine(editor, Up, 10, &from);
    EXPECT_EQ(editor.position, 5);
    EXPECT_EQ(editLine(editor, Up, 10, &from), EditOutcome::Ignored);
    EXPECT_EQ(editor.position, 5);
    editLine(editor, Down, 10, &from);
    editLine(editor, Down, 10, &from);
    EXPECT_EQ(editor.position, 25);
    EXPECT_EQ(editLine(editor, Down, 10, &from), EditOutcome::Ignored);
    editLine(editor, Home, 10, &from);
    editLine(editor, Down, 10, &from);
    editLine(editor, Down, 10, &from);
    EXPECT_EQ(editor.position, 20);
    EXPECT_EQ(editLine(editor, Down, 10, &from), EditOutcome::Ignored);  // 30 is past the end
}

TEST(LineEditorTest, OutcomesTellTheCallerWhatToDraw) {
    LineEditor editor = typed(keysOf("abcd"));
    int from = -1;
    EXPECT_EQ(editLine(editor, Left, Width, &from), EditOutcome::Moved);
    EXPECT_EQ(editLine(editor, Left, Width, &from), EditOutcome::Moved);
    EXPECT_EQ(editLine(editor, 'x', Width, &from), EditOutcome::Changed);
    EXPECT_EQ(from, 2);
    EXPECT_EQ(editLine(editor, 8, Width, &from), EditOutcome::Changed);
    EXPECT_EQ(from, 2);
    EXPECT_EQ(editLine(editor, End, Width, &from), EditOutcome::Moved);
    EXPECT_EQ(editLine(editor, Del, Width, &from), EditOutcome::Beep);
    EXPECT_EQ(editLine(editor, 27, Width, &from), EditOutcome::Changed);
    EXPECT_EQ(from, 0);
    EXPECT_EQ(editLine(editor, 27, Width, &from), EditOutcome::Ignored);
    EXPECT_EQ(editLine(editor, 13, Width, &from), EditOutcome::Finished);
    EXPECT_TRUE(editor.finished);
}

}  // namespace
