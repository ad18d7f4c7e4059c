#include "common/console/key_tables.h"

#include "common/console/console.h"

namespace {

// BIOS extended codes of the keys without a character, in FunctionKey order: plain, Shift, Ctrl, Alt.
constexpr int FunctionKeyCodes[][4] = {
    {71, 71, 119, 151}, {72, 72, 141, 152}, {73, 73, 132, 153}, {75, 75, 115, 155},
    {77, 77, 116, 157}, {79, 79, 117, 159}, {80, 80, 145, 160}, {81, 81, 118, 161},
    {82, 82, 146, 162}, {83, 83, 147, 163},
    {59, 84, 94, 104}, {60, 85, 95, 105}, {61, 86, 96, 106}, {62, 87, 97, 107},
    {63, 88, 98, 108}, {64, 89, 99, 109}, {65, 90, 100, 110}, {66, 91, 101, 111},
    {67, 92, 102, 112}, {68, 93, 103, 113}, {133, 135, 137, 139}, {134, 136, 138, 140},
};

// Characters of the US layout by scan code; the second row holds the shifted forms.
// The BIOS code for Alt with a letter, digit or punctuation key is that key's scan code.
constexpr const char* PlainByScan = "\0\0" "1234567890-=\0\0qwertyuiop[]\0\0asdfghjkl;'`\0\\zxcvbnm,./";
constexpr const char* ShiftByScan = "\0\0" "!@#$%^&*()_+\0\0QWERTYUIOP{}\0\0ASDFGHJKL:\"~\0|ZXCVBNM<>?";
constexpr int ScanTableSize = 54;

// The numeric keypad: the BIOS code of each key plain, with Shift, Ctrl and Alt (0: none), and its
// scan code. Digits type themselves; with Ctrl they give the Ctrl codes of the grey keys they carry,
// and with Alt nothing, since on a PC Alt with keypad digits composes a character instead.
struct KeypadKey {
    char ch;
    int codes[4];
    int scan;
};

constexpr KeypadKey KeypadKeys[] = {
    {'/', {'/', '/', extendedKey(149), extendedKey(164)}, 53},
    {'*', {'*', '*', extendedKey(150), extendedKey(55)}, 55},
    {'-', {'-', '-', extendedKey(142), extendedKey(74)}, 74},
    {'+', {'+', '+', extendedKey(144), extendedKey(78)}, 78},
    {13, {13, 13, 10, extendedKey(166)}, 28},
    {'.', {'.', '.', extendedKey(147), 0}, 83},
    {'0', {'0', '0', extendedKey(146), 0}, 82},
    {'1', {'1', '1', extendedKey(117), 0}, 79},
    {'2', {'2', '2', extendedKey(145), 0}, 80},
    {'3', {'3', '3', extendedKey(118), 0}, 81},
    {'4', {'4', '4', extendedKey(115), 0}, 75},
    {'5', {'5', '5', extendedKey(143), 0}, 76},
    {'6', {'6', '6', extendedKey(116), 0}, 77},
    {'7', {'7', '7', extendedKey(119), 0}, 71},
    {'8', {'8', '8', extendedKey(141), 0}, 72},
    {'9', {'9', '9', extendedKey(132), 0}, 73},
};

int scanOfCharacter(int ch) {
    if (ch == 0) return 0;
    for (int scan = 0; scan < ScanTableSize; ++scan) {
        if (PlainByScan[scan] == ch || ShiftByScan[scan] == ch) return scan;
    }
    return ch == ' ' ? 57 : 0;
}

// Enter, Tab, Backspace and Esc: their own byte, or an extended code with some modifiers. Ctrl with
// Backspace types DEL, as the BIOS has it.
int controlKeyCode(int byte, int modifier) {
    static const int codes[][4] = {
        {13, 13, 10, extendedKey(28)},
        {9, extendedKey(15), extendedKey(148), extendedKey(165)},
        {8, 8, 127, extendedKey(14)},
        {27, 27, 27, extendedKey(1)},
    };
    int row = byte == 13 ? 0 : byte == 9 ? 1 : byte == 8 ? 2 : 3;
    return codes[row][modifier];
}

}  // namespace

int functionKeyCode(FunctionKey key, int modifier) {
    return extendedKey(FunctionKeyCodes[key][modifier]);
}

int characterKeyCode(int ch, int modifier) {
    if (ch == 13 || ch == 9 || ch == 8 || ch == 27) return controlKeyCode(ch, modifier);
    if (modifier == AltModifier) {
        int scan = ch < 128 ? scanOfCharacter(ch) : 0;
        // The space bar lies beyond the table: Alt with it gives a plain blank, as on a PC.
        bool plain = scan > 0 && scan < ScanTableSize &&
                     (PlainByScan[scan] == ch || (ch >= 'A' && ch <= 'Z' && PlainByScan[scan] == ch + 32));
        if (!plain) return ch;
        if (scan >= 2 && scan <= 13) return extendedKey(scan + 118);  // digits, - and =
        return extendedKey(scan);
    }
    if (modifier == CtrlModifier) {
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) return ch & 0x1f;
        if (ch == '[' || ch == '\\' || ch == ']') return ch & 0x1f;
        if (ch == '6' || ch == '^') return 30;
        if (ch == '-' || ch == '_') return 31;
        return -1;
    }
    if (modifier == ShiftModifier && ch >= 'a' && ch <= 'z') return ch - 32;
    return ch;
}

int keypadKeyCode(int ch, int modifier) {
    for (const KeypadKey& key : KeypadKeys) {
        if (key.ch == ch) return key.codes[modifier] != 0 ? key.codes[modifier] : -1;
    }
    return characterKeyCode(ch, modifier);  // = and , of keypads that have them
}

int scanCodeOfKey(int key) {
    if (key >= 256) {
        int code = key >> 8;
        for (int k = Home; k <= F12; ++k) {
            for (int m = 0; m < 4; ++m) {
                if (FunctionKeyCodes[k][m] == code) return k <= F10 ? FunctionKeyCodes[k][0] : 87 + (k - F11);
            }
        }
        for (const KeypadKey& keypad : KeypadKeys) {
            for (int m = 2; m < 4; ++m) {
                if (keypad.codes[m] == key) return keypad.scan;
            }
        }
        if (code >= 120 && code <= 131) return code - 118;
        if (code == 148 || code == 165) return 15;
        return code < ScanTableSize || code == 57 ? code : 0;  // Alt with a character key
    }
    if (key == 27) return 1;
    if (key == 8 || key == 9) return key + 6;  // Backspace 14, Tab 15
    if (key == 10 || key == 13) return 28;
    if (key >= 1 && key <= 26) return scanOfCharacter('a' + key - 1);
    return key < 128 ? scanOfCharacter(key) : 0;
}
