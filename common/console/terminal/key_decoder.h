// Key decoder: turns the bytes a terminal sends for key presses into key codes and events.
// Bytes are fed in, events are pulled out one at a time; time is passed in so that a lone Esc
// can be told from the start of an escape sequence without the decoder ever sleeping.
#pragma once

#include <cstddef>
#include <string>

// A lone ESC with nothing after it for this long is the Esc key.
constexpr long long EscTimeoutMs = 30;

enum class KeyEventKind {
    None,              // nothing buffered
    NeedMore,          // a partial sequence waits for more bytes or for the Esc timeout
    Key,               // a key code (press, repeat or release)
    FocusIn,
    FocusOut,
    CursorReport,      // the terminal said where its cursor stands
    KittyFlags,        // the reply to the kitty keyboard protocol query
    DeviceAttributes,  // the reply to the primary device attributes query
    ModeReport,        // the reply to a DEC private mode query (DECRQM)
    Interrupt,         // Ctrl+C that the terminal sent as a key instead of raising SIGINT
    Suspend,           // the same for Ctrl+Z
    Ignored,           // bytes swallowed: an unknown sequence, another reply, a key with no code
};

enum class KeyAction { Press = 1, Repeat = 2, Release = 3 };

struct KeyEvent {
    KeyEventKind kind = KeyEventKind::None;
    int key = 0;                 // for Key: a byte below 256 or extendedKey(BIOS code)
    int scanCode = 0;            // for Key: the PC scan code (set 1) of the key, 0 when unknown
    KeyAction action = KeyAction::Press;
    bool plainBytes = false;     // for Key: typed as a plain byte or character, which no release follows
    int row = 0, column = 0;     // for CursorReport
    int mode = 0, modeState = 0; // for ModeReport: the mode and its state (1 set, 2 reset, 0 unknown, ...)
    std::size_t length = 0;      // input bytes this event consumed
};

struct KeyDecoder {
    std::string buffer;                    // bytes fed and not yet decoded
    long long lastFeedMs = 0;              // when the last bytes arrived
    std::size_t expiredLength = 0;         // leading bytes whose wait had run out when more came
    bool cursorReportOutstanding = false;  // a cursor position query waits for its answer
    bool utf8Input = true;                 // bytes >= 0x80 are UTF-8; false: each is a key as it is
};

void keyDecoderFeed(KeyDecoder& decoder, const char* bytes, std::size_t count, long long nowMs);
// The next event; consumes the bytes it decoded. NeedMore until the partial sequence completes
// or EscTimeoutMs has passed since the last feed.
KeyEvent keyDecoderNext(KeyDecoder& decoder, long long nowMs);
