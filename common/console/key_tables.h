// The PC keyboard that the key decoder maps terminal keys onto: the BIOS extended codes (INT 16h,
// enhanced keyboard) of each key under each modifier, and the US layout's characters by scan code.
// Pure lookups; reading terminal bytes is the decoder's job.
#pragma once

// The modifier that decides the BIOS code: Alt before Ctrl before Shift.
enum Modifier { NoModifier = 0, ShiftModifier = 1, CtrlModifier = 2, AltModifier = 3 };

// Keys without a character, grey block and function keys.
enum FunctionKey { Home, Up, PgUp, Left, Right, End, Down, PgDn, Ins, Del, F1, F2, F3, F4, F5,
                   F6, F7, F8, F9, F10, F11, F12, NoFunctionKey };

// The key code of a key without a character under a modifier.
int functionKeyCode(FunctionKey key, int modifier);

// The key code of a key that types the character ch (a code page 437 byte) under a modifier, or -1
// when the combination gives no key.
int characterKeyCode(int ch, int modifier);

// The key code of a numeric keypad key under a modifier, the key named by what it types with Num Lock
// on ('0'-'9', '.', '/', '*', '-', '+', '=', ',', and 13 for Enter); -1 when the combination gives none.
int keypadKeyCode(int ch, int modifier);

// The scan code (PC set 1) of the key that gives this key code on a US keyboard, or 0.
int scanCodeOfKey(int key);
