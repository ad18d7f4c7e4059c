// What a key event of the Win32 console means for the key queue: the key code of a press by the PC BIOS
// keyboard's rules, the virtual keys that carry a scan code, and which notifications queue the close
// request. Reading the events is win32_input's; nothing here calls Windows, so it is tested everywhere.
#pragma once

// The control key state bits of a console key event, as the Win32 console sets them. AltGr comes
// as Right Alt together with Left Ctrl.
constexpr unsigned RightAltPressed = 0x0001;
constexpr unsigned LeftAltPressed = 0x0002;
constexpr unsigned RightCtrlPressed = 0x0004;
constexpr unsigned LeftCtrlPressed = 0x0008;
constexpr unsigned ShiftPressed = 0x0010;
constexpr unsigned NumLockOn = 0x0020;
constexpr unsigned EnhancedKey = 0x0100;  // the grey block, keypad Enter and keypad '/'

// A key press as the console reports it.
struct ConsoleKeyPress {
    int virtualKey = 0;
    int scanCode = 0;                  // PC set 1, without the E0 prefix (see EnhancedKey)
    unsigned controlState = 0;
    unsigned char character = 0;       // the byte the key typed, 0 for none
    unsigned char plainCharacter = 0;  // what the key types without modifiers, 0 for none
};

// The key code to queue for a press: a byte below 256 or an extended code; 0 for none (a modifier
// pressed alone, a combination that has no code).
int consoleKeyCode(const ConsoleKeyPress& press);

// The keypad's own virtual key for a scan code that the keypad shares with the grey block (71 is
// keypad 7 and Home), or 0; the grey key's virtual key is what the system maps the scan code to.
int keypadVirtualKey(int scanCode);

// Whether a console control notification queues CloseRequestKey: the window closed, log-off,
// shut-down. Ctrl+C and Ctrl+Break are left to the system, which ends the process.
bool queuesCloseRequest(unsigned long controlType);
