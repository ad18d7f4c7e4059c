// The Win32 console's key events as key codes: one table of presses as the console reports them
// (virtual key, scan code, control state, character, the key's plain character) and the code each
// queues. Covers AltGr, Num Lock, Shift with the keypad, the grey block's extended keys, Alt codes and
// keys that queue nothing; then which console notifications queue the close request.
#include "common/console/win32/win32_key_map.h"

#include "common/console/console.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned Alt = LeftAltPressed;
constexpr unsigned Ctrl = LeftCtrlPressed;
constexpr unsigned Shift = ShiftPressed;
constexpr unsigned AltGr = RightAltPressed | LeftCtrlPressed;
constexpr unsigned Grey = EnhancedKey;
constexpr unsigned Num = NumLockOn;

struct Row {
    const char* what;
    ConsoleKeyPress press;  // virtual key, scan code, control state, character, plain character
    int key;
};

int ext(int code) { return extendedKey(code); }

const Row Rows[] = {
    {"a", {0x41, 30, 0, 'a', 'A'}, 'a'},
    {"Shift+a", {0x41, 30, Shift, 'A', 'A'}, 'A'},
    {"Ctrl+a", {0x41, 30, Ctrl, 1, 'A'}, 1},
    {"Alt+q", {0x51, 16, Alt, 'q', 'Q'}, ext(16)},
    {"Alt+Shift+Q", {0x51, 16, Alt | Shift, 'Q', 'Q'}, ext(16)},
    {"Alt+q reported without a character", {0x51, 16, Alt, 0, 'Q'}, ext(16)},
    {"Alt+1", {0x31, 2, Alt, '1', '1'}, ext(120)},
    {"Alt+=", {0xBB, 13, Alt, '=', '='}, ext(131)},
    {"Alt+space stays a blank", {0x20, 57, Alt, ' ', ' '}, ' '},
    {"AltGr+q on a German layout types @", {0x51, 16, AltGr, '@', 'Q'}, '@'},
    {"AltGr+7 on a German layout types {", {0x37, 8, AltGr, '{', '7'}, '{'},
    {"AltGr+e types a byte above 127", {0x45, 18, AltGr, 0xD5, 'E'}, 0xD5},
    {"a byte above 127 from the layout", {0xDE, 40, 0, 0x82, 0x82}, 0x82},
    {"Enter", {0x0D, 28, 0, 13, 13}, 13},
    {"Ctrl+Enter", {0x0D, 28, Ctrl, 10, 13}, 10},
    {"Alt+Enter", {0x0D, 28, Alt, 13, 13}, ext(28)},
    {"keypad Enter", {0x0D, 28, Grey, 13, 13}, 13},
    {"Alt+keypad Enter", {0x0D, 28, Grey | Alt, 13, 13}, ext(166)},
    {"Esc", {0x1B, 1, 0, 27, 27}, 27},
    {"Esc reported without a character (Wine on a terminal)", {0x1B, 1, 0, 0, 0}, 27},
    {"Backspace", {0x08, 14, 0, 8, 8}, 8},
    {"Ctrl+Backspace", {0x08, 14, Ctrl, 127, 8}, 127},
    {"Tab", {0x09, 15, 0, 9, 9}, 9},
    {"Ctrl+Tab, no character", {0x09, 15, Ctrl, 0, 9}, ext(148)},
    {"grey Up", {0x26, 72, Grey, 0, 0}, ext(72)},
    {"Ctrl+grey Up", {0x26, 72, Grey | Ctrl, 0, 0}, ext(141)},
    {"Alt+grey Up", {0x26, 72, Grey | Alt, 0, 0}, ext(152)},
    {"Ctrl+grey Left", {0x25, 75, Grey | Ctrl, 0, 0}, ext(115)},
    {"grey Del", {0x2E, 83, Grey, 0, 0}, ext(83)},
    {"Ctrl+grey Del", {0x2E, 83, Grey | Ctrl, 0, 0}, ext(147)},
    {"AltGr+grey Home counts as Alt", {0x24, 71, Grey | AltGr, 0, 0}, ext(151)},
    {"keypad 7, Num Lock off: Home", {0x24, 71, 0, 0, 0}, ext(71)},
    {"Ctrl+keypad 7, Num Lock off", {0x24, 71, Ctrl, 0, 0}, ext(119)},
    {"keypad 7, Num Lock on", {0x67, 71, Num, '7', '7'}, '7'},
    {"Shift+keypad 7, Num Lock on: Home", {0x24, 71, Num | Shift, 0, 0}, ext(71)},
    {"Ctrl+keypad 7, Num Lock on", {0x67, 71, Num | Ctrl, 0, '7'}, ext(119)},
    {"Alt+keypad 7 composes, queues nothing", {0x67, 71, Num | Alt, 0, '7'}, 0},
    {"keypad ., Num Lock on", {0x6E, 83, Num, '.', '.'}, '.'},
    {"Shift+keypad ., Num Lock on: Del", {0x2E, 83, Num | Shift, 0, 0}, ext(83)},
    {"keypad 5, Num Lock off", {0x0C, 76, 0, 0, 0}, 0},
    {"Ctrl+keypad 5, Num Lock off", {0x0C, 76, Ctrl, 0, 0}, ext(143)},
    {"keypad /", {0x6F, 53, Grey, '/', '/'}, '/'},
    {"Ctrl+keypad /", {0x6F, 53, Grey | Ctrl, 0, '/'}, ext(149)},
    {"Alt+keypad *", {0x6A, 55, Alt, '*', '*'}, ext(55)},
    {"F1", {0x70, 59, 0, 0, 0}, ext(59)},
    {"Shift+F1", {0x70, 59, Shift, 0, 0}, ext(84)},
    {"Ctrl+F1", {0x70, 59, Ctrl, 0, 0}, ext(94)},
    {"Alt+F1", {0x70, 59, Alt, 0, 0}, ext(104)},
    {"F12", {0x7B, 88, 0, 0, 0}, ext(134)},
    {"Shift+F11", {0x7A, 87, Shift, 0, 0}, ext(135)},
    {"Shift alone", {0x10, 42, Shift, 0, 0}, 0},
    {"Ctrl alone", {0x11, 29, Ctrl, 0, 0}, 0},
    {"Alt alone", {0x12, 56, Alt, 0, 0}, 0},
    {"Caps Lock", {0x14, 58, 0, 0, 0}, 0},
    {"Num Lock", {0x90, 69, Num, 0, 0}, 0},
};

TEST(Win32KeyMapTest, EachPressQueuesItsCode) {
    for (const Row& row : Rows) {
        EXPECT_EQ(consoleKeyCode(row.press), row.key) << row.what;
    }
}

TEST(Win32KeyMapTest, KeypadKeysShareTheirScanCodeWithTheGreyBlock) {
    EXPECT_EQ(keypadVirtualKey(71), 0x67);  // Home and keypad 7
    EXPECT_EQ(keypadVirtualKey(82), 0x60);  // Ins and keypad 0
    EXPECT_EQ(keypadVirtualKey(83), 0x6E);  // Del and keypad .
    EXPECT_EQ(keypadVirtualKey(1), 0);      // Esc: no keypad key
}

TEST(Win32KeyMapTest, OnlyCloseLogOffAndShutDownQueueTheCloseRequest) {
    const struct {
        unsigned long type;
        bool queued;
    } notifications[] = {{0, false} /* Ctrl+C */, {1, false} /* Ctrl+Break */, {2, true} /* close */,
                         {5, true} /* log-off */, {6, true} /* shut-down */, {3, false}};
    for (const auto& n : notifications) EXPECT_EQ(queuesCloseRequest(n.type), n.queued) << n.type;
}

}  // namespace
