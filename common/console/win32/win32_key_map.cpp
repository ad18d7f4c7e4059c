#include "common/console/win32/win32_key_map.h"

#include "common/console/console.h"
#include "common/console/key_tables.h"

namespace {

// Virtual key codes of Windows that the mapping looks at.
constexpr int VkClear = 0x0C;
constexpr int VkReturn = 0x0D;
constexpr int VkEscape = 0x1B;
constexpr int VkNumpad0 = 0x60;
constexpr int VkMultiply = 0x6A;
constexpr int VkDecimal = 0x6E;
constexpr int VkDivide = 0x6F;
constexpr int VkF1 = 0x70;
constexpr int VkF12 = 0x7B;

constexpr unsigned AltPressed = RightAltPressed | LeftAltPressed;
constexpr unsigned CtrlPressed = RightCtrlPressed | LeftCtrlPressed;

int modifierOfState(unsigned state) {
    if (state & AltPressed) return AltModifier;
    if (state & CtrlPressed) return CtrlModifier;
    if (state & ShiftPressed) return ShiftModifier;
    return NoModifier;
}

FunctionKey functionKeyOf(int virtualKey) {
    static const FunctionKey grey[] = {PgUp, PgDn, End, Home, Left, Up, Right, Down};  // 0x21 to 0x28
    if (virtualKey >= 0x21 && virtualKey <= 0x28) return grey[virtualKey - 0x21];
    if (virtualKey == 0x2D) return Ins;
    if (virtualKey == 0x2E) return Del;
    if (virtualKey >= VkF1 && virtualKey <= VkF12) return static_cast<FunctionKey>(F1 + virtualKey - VkF1);
    return NoFunctionKey;
}

// The character that names a keypad key in the keypad table (what it types with Num Lock on), or 0.
int keypadCharacter(const ConsoleKeyPress& press) {
    int vk = press.virtualKey;
    if (vk >= VkNumpad0 && vk <= VkNumpad0 + 9) return '0' + vk - VkNumpad0;
    static const char operators[] = "*+\0-./";  // 0x6A to 0x6F; 0x6C is the separator, which has none
    if (vk >= VkMultiply && vk <= VkDivide) return operators[vk - VkMultiply];
    return vk == VkReturn && (press.controlState & EnhancedKey) ? 13 : 0;
}

// The BIOS code of Alt with the key at a scan code, where it is one: the scan code itself for the
// letter and punctuation keys, 120 to 131 for the digit row, and the codes of Esc, Backspace, Tab and
// Enter. By scan code, so that it holds for every keyboard layout.
int altCodeOfScan(int scan) {
    if (scan >= 2 && scan <= 13) return extendedKey(scan + 118);
    if ((scan >= 16 && scan <= 27) || (scan >= 30 && scan <= 41) || (scan >= 43 && scan <= 53)) {
        return extendedKey(scan);
    }
    if (scan == 1 || scan == 14 || scan == 28) return extendedKey(scan);
    return scan == 15 ? extendedKey(165) : 0;
}

bool sameLetter(int a, int b) {
    auto lower = [](int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    return lower(a) == lower(b);
}

}  // namespace

int consoleKeyCode(const ConsoleKeyPress& press) {
    int modifier = modifierOfState(press.controlState);
    // The keypad follows its own table: digits with Ctrl give the grey keys' Ctrl codes, with Alt
    // nothing (Windows composes a character from Alt and keypad digits instead).
    int keypad = keypadCharacter(press);
    if (keypad != 0) {
        int code = keypadKeyCode(keypad, modifier);
        return code > 0 ? code : 0;
    }
    // Esc is Esc whatever character comes with it: Wine's console on a Unix terminal reports none.
    if (press.virtualKey == VkEscape && modifier != AltModifier) return 27;
    if (press.virtualKey == VkClear) {  // keypad 5 with Num Lock off: a code only with Ctrl
        int code = keypadKeyCode('5', modifier);
        return code >= 256 ? code : 0;
    }
    int ch = press.character;
    int plain = press.plainCharacter;
    if (ch != 0) {
        // Alt with a key that types its own plain character is a BIOS Alt code; a character that
        // AltGr makes (Right Alt with Ctrl) is not the key's plain one and is queued as it is.
        if (modifier == AltModifier && plain != 0 && sameLetter(ch, plain)) {
            int code = altCodeOfScan(press.scanCode);
            if (code != 0) return code;
        }
        return ch;
    }
    FunctionKey key = functionKeyOf(press.virtualKey);
    if (key != NoFunctionKey) return functionKeyCode(key, modifier);
    if (modifier == AltModifier) return altCodeOfScan(press.scanCode);
    if (plain == 0) return 0;  // Shift, Ctrl, Alt, Caps Lock and the like alone
    // A character key that typed nothing under its modifier (Ctrl with Tab, say): only an extended
    // code counts.
    int code = characterKeyCode(plain, modifier);
    return code >= 256 ? code : 0;
}

int keypadVirtualKey(int scanCode) {
    static const int keys[][2] = {
        {71, VkNumpad0 + 7}, {72, VkNumpad0 + 8}, {73, VkNumpad0 + 9}, {75, VkNumpad0 + 4},
        {76, VkNumpad0 + 5}, {77, VkNumpad0 + 6}, {79, VkNumpad0 + 1}, {80, VkNumpad0 + 2},
        {81, VkNumpad0 + 3}, {82, VkNumpad0 + 0}, {83, VkDecimal}, {53, VkDivide}, {28, VkReturn},
    };
    for (const auto& key : keys) {
        if (key[0] == scanCode) return key[1];
    }
    return 0;
}

bool queuesCloseRequest(unsigned long controlType) {
    // CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT
    return controlType == 2 || controlType == 5 || controlType == 6;
}
