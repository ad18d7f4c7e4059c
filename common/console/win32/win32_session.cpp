// The console as the user had it: its input and output code pages and the colours of its output. While
// the program runs, both code pages are 437, the code page of the bytes the lobby carries, so that a
// byte is the same letter on every console (65001, 850 ...). The user's code pages and colours come back
// on every way out: at exit, which endProgram and a return from main reach, and at Ctrl+C or
// Ctrl+Break, which end the process without it.
#include "common/console/console.h"
#include "common/console/win32/win32_console.h"

#include <cstdlib>

namespace {

constexpr UINT LobbyCodePage = 437;

struct UserConsole {
    bool taken = false;
    UINT inputCodePage = 0;  // 0: there was none to read (no console)
    UINT outputCodePage = 0;
    bool colorsRead = false;
    WORD colors = 7;
};

UserConsole user;

// Puts back the code pages and the colours of output that the console had when it was taken over.
void giveBackConsole() {
    if (user.inputCodePage != 0) SetConsoleCP(user.inputCodePage);
    if (user.outputCodePage != 0) SetConsoleOutputCP(user.outputCodePage);
    if (user.colorsRead) SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), user.colors);
}

// The system ends the process at Ctrl+C and Ctrl+Break; the console is given back first. Registered
// before the keyboard's handler, it is asked after it.
BOOL WINAPI giveBackOnBreak(DWORD controlType) {
    if (controlType == CTRL_C_EVENT || controlType == CTRL_BREAK_EVENT) giveBackConsole();
    return FALSE;
}

}  // namespace

void takeOverConsole() {
    if (user.taken) return;
    user.taken = true;
    user.inputCodePage = GetConsoleCP();
    user.outputCodePage = GetConsoleOutputCP();
    CONSOLE_SCREEN_BUFFER_INFO info;
    user.colorsRead = GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0;
    if (user.colorsRead) user.colors = info.wAttributes;
    if (user.inputCodePage != 0) SetConsoleCP(LobbyCodePage);
    if (user.outputCodePage != 0) SetConsoleOutputCP(LobbyCodePage);
    std::atexit(giveBackConsole);
    SetConsoleCtrlHandler(giveBackOnBreak, TRUE);
}
