// Reads the cells of another program's Win32 console back, for the scripted tests under Wine:
//   console_reader NAME.exe   prints each row of the visible window as its characters, '|', and one
//                             hex digit of foreground colour per cell, then "cursor ROW,COLUMN" (1-based).
//   console_reader NAME.exe state
//                             prints "code pages INPUT OUTPUT colours XX": the console's code pages and
//                             the colours of its next output as two hex digits, background first.
//   console_reader NAME.exe type TEXT
//                             puts a press and a release of each character of TEXT into the console's
//                             input, as Unicode key events that the console turns into its code page's
//                             bytes for the program (xdotool types letters beyond its keyboard map by
//                             remapping a key for a moment, a race that Wine loses now and then).
// It finds the program by its executable's name, attaches to its console and reads with
// ReadConsoleOutputCharacterA and ReadConsoleOutputAttribute; what it prints goes to the standard output
// it was given (a file or a pipe). Exit status 1 when the program or its console cannot be reached.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD processOf(const char* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, name) == 0) found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

void writeOut(HANDLE out, const std::string& text) {
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

std::string stateOf(const CONSOLE_SCREEN_BUFFER_INFO& info) {
    char state[64];
    std::snprintf(state, sizeof state, "code pages %u %u colours %02x\n", GetConsoleCP(), GetConsoleOutputCP(),
                  info.wAttributes & 0xff);
    return state;
}

// The text to type, from the wide command line: the narrow arguments have passed through a code page.
bool typeInto(HANDLE input) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 4) return false;
    std::vector<INPUT_RECORD> records;
    for (const wchar_t* c = arguments[3]; *c != 0; ++c) {
        INPUT_RECORD record = {};
        record.EventType = KEY_EVENT;
        record.Event.KeyEvent.wRepeatCount = 1;
        record.Event.KeyEvent.uChar.UnicodeChar = *c;
        for (BOOL down : {TRUE, FALSE}) {
            record.Event.KeyEvent.bKeyDown = down;
            records.push_back(record);
        }
    }
    DWORD written = 0;
    return WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written) != 0;
}

int main(int argc, char** argv) {
    bool state = argc == 3 && std::strcmp(argv[2], "state") == 0;
    bool type = argc == 4 && std::strcmp(argv[2], "type") == 0;
    if (argc != 2 && !state && !type) return 2;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD pid = processOf(argv[1]);
    if (pid == 0) return 1;
    FreeConsole();
    if (!AttachConsole(pid)) return 1;
    if (type) {
        HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        return input != INVALID_HANDLE_VALUE && typeInto(input) ? 0 : 1;
    }
    HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) return 1;
    if (state) {
        writeOut(out, stateOf(info));
        return 0;
    }
    int width = info.srWindow.Right - info.srWindow.Left + 1;
    std::string dump;
    for (int y = info.srWindow.Top; y <= info.srWindow.Bottom; ++y) {
        std::vector<char> chars(static_cast<size_t>(width));
        std::vector<WORD> attributes(static_cast<size_t>(width));
        DWORD read = 0;
        COORD from = {info.srWindow.Left, static_cast<SHORT>(y)};
        ReadConsoleOutputCharacterA(console, chars.data(), static_cast<DWORD>(width), from, &read);
        ReadConsoleOutputAttribute(console, attributes.data(), static_cast<DWORD>(width), from, &read);
        dump.append(chars.data(), chars.size());
        dump += '|';
        for (WORD a : attributes) dump += "0123456789abcdef"[a & 15];
        dump += '\n';
    }
    dump += "cursor " + std::to_string(info.dwCursorPosition.Y - info.srWindow.Top + 1) + "," +
            std::to_string(info.dwCursorPosition.X - info.srWindow.Left + 1) + "\n";
    writeOut(out, dump);
    return 0;
}
