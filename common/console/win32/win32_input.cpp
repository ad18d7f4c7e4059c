// The Win32 console back end's keyboard: key events from ReadConsoleInputA through the key rules of
// win32_key_map into the front's key queue; the held test (GetAsyncKeyState while the console's own
// window is in front), and the close notifications. Input that is a pipe or a file gives its bytes as
// keys, as the terminal back end does.
#include "common/console/console.h"
#include "common/console/console_backend.h"
#include "common/console/win32/win32_console.h"
#include "common/console/win32/win32_key_map.h"

#include <atomic>
#include <cstdio>

namespace {

constexpr DWORD RecordsPerRead = 64;
constexpr int ReadsPerIntake = 16;  // bounds one intake when input keeps streaming in
constexpr int TitleSearchTries = 25;

struct Keyboard {
    bool started = false;
    HANDLE input = INVALID_HANDLE_VALUE;
    bool console = false;       // the input is a console; otherwise its bytes are keys
    bool inputEnded = false;    // the pipe or file ended: no key can come any more
    bool listening = false;     // the control handler is registered
    bool windowSearched = false;
    HWND window = nullptr;      // the console's own window, found by a title of its own
};

Keyboard keyboard;
// Close, log-off and shut-down notifications that arrived on the system's thread and wait to be queued
// by the program's thread, which alone touches the key queue.
std::atomic<int> closeRequests{0};

// The first key operation fetches the input handle and switches processed input on, so that Ctrl+C
// stays the system's break and never reaches the queue.
Keyboard& startKeyboard() {
    if (keyboard.started) return keyboard;
    keyboard.started = true;
    takeOverConsole();
    keyboard.input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    keyboard.console = GetConsoleMode(keyboard.input, &mode) != 0;
    if (keyboard.console) SetConsoleMode(keyboard.input, mode | ENABLE_PROCESSED_INPUT);
    return keyboard;
}

void queuePress(KeyQueue* keys, const KEY_EVENT_RECORD& event) {
    if (!event.bKeyDown) return;  // only presses are queued
    ConsoleKeyPress press;
    press.virtualKey = event.wVirtualKeyCode;
    press.scanCode = event.wVirtualScanCode;
    press.controlState = event.dwControlKeyState;
    press.character = static_cast<unsigned char>(event.uChar.AsciiChar);
    // What the key types unmodified: a dead key (top bit set) or a character beyond a byte is none.
    UINT plain = MapVirtualKeyA(event.wVirtualKeyCode, MAPVK_VK_TO_CHAR);
    press.plainCharacter = plain <= 255 ? static_cast<unsigned char>(plain) : 0;
    int code = consoleKeyCode(press);
    if (code == 0) return;
    for (int i = 0; i < (event.wRepeatCount > 0 ? event.wRepeatCount : 1); ++i) keyQueuePush(*keys, code);
}

void readConsoleKeys(const Keyboard& k, KeyQueue* keys) {
    INPUT_RECORD records[RecordsPerRead];
    for (int reads = 0; reads < ReadsPerIntake; ++reads) {
        // Wine's console on a Unix terminal hands keys only to a program that waits on the input
        // handle; a wait of no time does so without blocking.
        WaitForSingleObject(k.input, 0);
        DWORD waiting = 0, read = 0;
        if (!GetNumberOfConsoleInputEvents(k.input, &waiting) || waiting == 0) return;
        if (!ReadConsoleInputA(k.input, records, waiting < RecordsPerRead ? waiting : RecordsPerRead, &read)) return;
        for (DWORD i = 0; i < read; ++i) {
            if (records[i].EventType == KEY_EVENT) queuePress(keys, records[i].Event.KeyEvent);
        }
    }
}

// Input that is not a console: a pipe gives what waits in it, a file what is left of it, each byte a key.
void readByteKeys(Keyboard& k, KeyQueue* keys) {
    char bytes[1024];
    bool pipe = GetFileType(k.input) == FILE_TYPE_PIPE;
    for (int reads = 0; reads < ReadsPerIntake && !k.inputEnded; ++reads) {
        DWORD want = sizeof bytes, read = 0;
        if (pipe) {
            DWORD waiting = 0;
            if (!PeekNamedPipe(k.input, nullptr, 0, nullptr, &waiting, nullptr)) {
                k.inputEnded = true;  // the writer closed the pipe
                return;
            }
            if (waiting == 0) return;
            if (waiting < want) want = waiting;
        }
        if (!ReadFile(k.input, bytes, want, &read, nullptr) || read == 0) {
            k.inputEnded = true;
            return;
        }
        for (DWORD i = 0; i < read; ++i) keyQueuePush(*keys, static_cast<unsigned char>(bytes[i]));
    }
}

// The console's own window: its title is set to one no other window has, the window with that title is
// looked up, and the title is put back. GetConsoleWindow stands in when the search finds nothing.
HWND consoleWindow(Keyboard& k) {
    if (k.windowSearched) return k.window;
    k.windowSearched = true;
    char saved[1024] = "";
    GetConsoleTitleA(saved, sizeof saved);
    char unique[96];
    std::snprintf(unique, sizeof unique, "lobby-chat console %lu-%lu", GetCurrentProcessId(), GetTickCount());
    if (SetConsoleTitleA(unique)) {
        for (int i = 0; i < TitleSearchTries && k.window == nullptr; ++i) {
            k.window = FindWindowA(nullptr, unique);
            if (k.window == nullptr) Sleep(10);
        }
        SetConsoleTitleA(saved);
    }
    if (k.window == nullptr) k.window = GetConsoleWindow();
    return k.window;
}

bool held(int virtualKey) {
    return virtualKey != 0 && (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

}  // namespace

BOOL WINAPI consoleControlHandler(DWORD controlType) {
    if (!queuesCloseRequest(controlType)) return FALSE;
    closeRequests.fetch_add(1);
    return TRUE;
}

void stopCloseListening() {
    if (keyboard.listening) SetConsoleCtrlHandler(consoleControlHandler, FALSE);
    keyboard.listening = false;
}

// Collects what key events wait, without waiting, and queues the close requests that came meanwhile.
// The first collection starts the listening for the close notifications.
bool backendCollect(KeyQueue* keys) {
    Keyboard& k = startKeyboard();
    if (!k.listening) k.listening = SetConsoleCtrlHandler(consoleControlHandler, TRUE) != 0;
    if (k.console) {
        readConsoleKeys(k, keys);
    } else if (!k.inputEnded) {
        readByteKeys(k, keys);
    }
    for (int closes = closeRequests.exchange(0); closes > 0; --closes) keyQueuePush(*keys, CloseRequestKey);
    return !k.inputEnded;
}

// On a console a key event ends the wait early.
bool backendWait(int milliseconds) {
    Keyboard& k = startKeyboard();
    if (k.console) return WaitForSingleObject(k.input, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
    Sleep(static_cast<DWORD>(milliseconds));
    return false;
}

// The key counts as held when any key that carries the scan code is down now: for 71, Home on the
// grey block and 7 on the keypad. A press of the key that this sees is still queued for pollKey.
bool backendKeyDown(int scanCode) {
    Keyboard& k = startKeyboard();
    if (scanCode <= 0 || scanCode > 127) return false;
    HWND window = consoleWindow(k);
    if (window == nullptr || GetForegroundWindow() != window) return false;
    return held(static_cast<int>(MapVirtualKeyA(static_cast<UINT>(scanCode), MAPVK_VSC_TO_VK_EX))) ||
           held(keypadVirtualKey(scanCode));
}

// What the console reports as held does not depend on what pollKey took.
void backendKeyTaken(int) {}
