#include "common/console/terminal/key_decoder.h"

#include "common/console/console.h"
#include "common/console/glyphs.h"
#include "common/console/key_tables.h"

#include <cstdlib>
#include <cstring>

// Terminals encode keys in several dialects: xterm and its followers (VTE, kitty, tmux, screen)
// use CSI/SS3 sequences with a modifier parameter, rxvt-unicode marks modifiers with the finals
// $ ^ @ and lower-case letters, the Linux console sends ESC [ [ A..E for F1..F5, and the kitty
// keyboard protocol sends CSI code;mods:event u. All of them end up here as PC BIOS key codes.

namespace {

constexpr char Esc = 0x1b;

// The modifier that counts for an xterm modifier parameter (1 + bits: Shift 1, Alt 2, Ctrl 4);
// alt adds Alt, as an ESC prefix does.
int modifierOf(int parameter, bool alt) {
    int bits = parameter > 1 ? parameter - 1 : 0;
    if (alt || (bits & 2)) return AltModifier;
    if (bits & 4) return CtrlModifier;
    if (bits & 1) return ShiftModifier;
    return NoModifier;
}

KeyAction actionOf(int eventType) {
    if (eventType == 2) return KeyAction::Repeat;
    if (eventType == 3) return KeyAction::Release;
    return KeyAction::Press;
}

KeyEvent simpleEvent(KeyEventKind kind, std::size_t length) {
    KeyEvent event;
    event.kind = kind;
    event.length = length;
    return event;
}

KeyEvent ignored(std::size_t length) {
    return simpleEvent(KeyEventKind::Ignored, length);
}

KeyEvent needMore() {
    return simpleEvent(KeyEventKind::NeedMore, 0);
}

KeyEvent keyEvent(int key, std::size_t length, KeyAction action = KeyAction::Press) {
    KeyEvent event = simpleEvent(KeyEventKind::Key, length);
    event.key = key;
    event.scanCode = scanCodeOfKey(key);
    event.action = action;
    return event;
}

KeyEvent functionKeyEvent(FunctionKey key, int modifier, KeyAction action, std::size_t length) {
    if (key == NoFunctionKey) return ignored(length);
    return keyEvent(functionKeyCode(key, modifier), length, action);
}

// A Unicode character as a key byte: ASCII as it is, others through code page 437; one that code page
// 437 lacks is '?', as the Win32 console gives it.
int byteOfCharacter(unsigned long codePoint) {
    if (codePoint < 128) return static_cast<int>(codePoint);
    for (int byte = 128; byte < 256; ++byte) {
        if (glyphCodePoint(static_cast<unsigned char>(byte)) == codePoint) return byte;
    }
    return '?';
}

KeyEvent characterKeyEvent(unsigned long codePoint, int modifier, KeyAction action,
                           std::size_t length) {
    int ch = byteOfCharacter(codePoint);
    if (ch <= 0) return ignored(length);
    int key = characterKeyCode(ch, modifier);
    return key > 0 ? keyEvent(key, length, action) : ignored(length);
}

// One byte that is not ESC, or a UTF-8 character when the input is UTF-8.
KeyEvent decodePlain(const KeyDecoder& decoder, std::size_t pos, bool timedOut) {
    const std::string& s = decoder.buffer;
    unsigned char c = static_cast<unsigned char>(s[pos]);
    if (c == 0x7f || c == 0x08) return keyEvent(8, 1);
    // NUL is Ctrl+Space, which gives no key; 0x03 is Ctrl+C, which never becomes a key.
    if (c == 0x00 || c == 0x03) return ignored(1);
    if (c < 0x80 || !decoder.utf8Input) return keyEvent(c, 1);
    std::size_t need = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                       : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (need == 0) return ignored(1);
    if (s.size() - pos < need) return timedOut ? ignored(s.size() - pos) : needMore();
    unsigned long codePoint = c & (0x7f >> need);
    for (std::size_t i = 1; i < need; ++i) {
        unsigned char next = static_cast<unsigned char>(s[pos + i]);
        if ((next & 0xC0) != 0x80) return ignored(i);
        codePoint = (codePoint << 6) | (next & 0x3f);
    }
    return characterKeyEvent(codePoint, NoModifier, KeyAction::Press, need);
}

// Up to four parameters of a CSI sequence, each with up to three ':' sub-parameters; -1 = absent.
struct CsiParameters {
    int value[4][3];
    int count = 0;
};

CsiParameters parseParameters(const std::string& s, std::size_t from, std::size_t to) {
    CsiParameters p;
    std::memset(p.value, -1, sizeof p.value);
    int index = 0, sub = 0;
    for (std::size_t i = from; i < to; ++i) {
        char c = s[i];
        if (c == ';') { ++index; sub = 0; continue; }
        if (c == ':') { ++sub; continue; }
        if (c < '0' || c > '9' || index >= 4 || sub >= 3) continue;
        int& v = p.value[index][sub];
        v = v < 0 ? 0 : v;
        if (v < 1000000) v = v * 10 + (c - '0');
    }
    p.count = from == to ? 0 : index + 1;
    return p;
}

int parameterOr(const CsiParameters& p, int index, int sub, int fallback) {
    return p.value[index][sub] < 0 ? fallback : p.value[index][sub];
}

// The key of CSI n ~ (and of rxvt's n $, n ^, n @); shiftedRxvt is set for rxvt's Shift+F3..F10.
FunctionKey tildeKey(int n, bool* shiftedRxvt) {
    constexpr FunctionKey No = NoFunctionKey;
    static const FunctionKey keys[] = {No, Home, Ins, Del, End, PgUp, PgDn, Home, End, No, No, F1, F2, F3,
                                       F4, F5, No, F6, F7, F8, F9, F10, No, F11, F12, F3, F4, No, F5, F6, No,
                                       F7, F8, F9, F10};
    *shiftedRxvt = n >= 25;
    return n >= 0 && n < static_cast<int>(sizeof keys / sizeof keys[0]) ? keys[n] : No;
}

FunctionKey letterKey(char final) {
    static const char letters[] = "ABCDHFPQRS";
    static const FunctionKey keys[] = {Up, Down, Right, Left, Home, End, F1, F2, F3, F4};
    const char* at = final != 0 ? std::strchr(letters, final) : nullptr;
    return at != nullptr ? keys[at - letters] : NoFunctionKey;
}

KeyEvent keypadEvent(int ch, int modifier, KeyAction action, std::size_t length) {
    int key = keypadKeyCode(ch, modifier);
    return key > 0 ? keyEvent(key, length, action) : ignored(length);
}

// Kitty's codes for keypad keys from 57399 on: a key that types with Num Lock on, or a grey key.
KeyEvent kittyKeypadEvent(int code, int modifier, KeyAction action, std::size_t length) {
    static const char characters[] = "0123456789./*-+\r=,";
    static const FunctionKey keys[] = {Left, Right, Up, Down, PgUp, PgDn, Home, End, Ins, Del};
    int index = code - 57399;
    if (index >= 0 && index < 18) return keypadEvent(characters[index], modifier, action, length);
    index -= 18;
    if (index >= 0 && index < 10) return functionKeyEvent(keys[index], modifier, action, length);
    return ignored(length);  // modifier keys alone, lock keys, media keys, F13 and above
}

KeyEvent kittyKeyEvent(const CsiParameters& p, int modifier, KeyAction action, std::size_t length) {
    int code = parameterOr(p, 0, 0, 0);
    if (modifier == CtrlModifier && (code == 'c' || code == 'z')) {
        if (action == KeyAction::Release) return ignored(length);
        return simpleEvent(code == 'c' ? KeyEventKind::Interrupt : KeyEventKind::Suspend, length);
    }
    if (code == 127) code = 8;
    if (code >= 57344) return kittyKeypadEvent(code, modifier, action, length);
    if (code <= 0) return ignored(length);
    // With all keys as escape codes a typed character comes as its key and the text it typed (Shift
    // and Caps Lock applied, in any layout). A key that types several characters gives the first.
    int text = parameterOr(p, 2, 0, 0);
    if (text > 0 && modifier <= ShiftModifier) {
        return characterKeyEvent(static_cast<unsigned long>(text), NoModifier, action, length);
    }
    return characterKeyEvent(static_cast<unsigned long>(code), modifier, action, length);
}

// Meaning of a complete CSI sequence without a private prefix.
KeyEvent interpretCsi(const KeyDecoder& decoder, const CsiParameters& p, char final, bool alt,
                      std::size_t length) {
    int mods = parameterOr(p, 1, 0, 1);
    int modifier = modifierOf(mods, alt);
    KeyAction action = actionOf(parameterOr(p, 1, 1, 1));
    if (final == 'I' && p.count == 0) return simpleEvent(KeyEventKind::FocusIn, length);
    if (final == 'O' && p.count == 0) return simpleEvent(KeyEventKind::FocusOut, length);
    // CSI row;col R is also Shift+F3 and the like; it is a report only while one is awaited.
    if (final == 'R' && decoder.cursorReportOutstanding && p.count == 2) {
        KeyEvent event = simpleEvent(KeyEventKind::CursorReport, length);
        event.row = parameterOr(p, 0, 0, 1);
        event.column = parameterOr(p, 1, 0, 1);
        return event;
    }
    if (final == 'R' && parameterOr(p, 0, 0, 1) != 1) return ignored(length);
    if (final == 'Z') return keyEvent(extendedKey(15), length, action);
    if (final == 'u') return kittyKeyEvent(p, modifier, action, length);
    if (final >= 'a' && final <= 'd' && p.count == 0) {  // rxvt: Shift with an arrow
        return functionKeyEvent(letterKey(char(final - 32)), modifierOf(2, alt), action, length);
    }
    if (letterKey(final) != NoFunctionKey) return functionKeyEvent(letterKey(final), modifier, action, length);
    if (final != '~' && final != '$' && final != '^' && final != '@') return ignored(length);
    int n = parameterOr(p, 0, 0, 0);
    if (n == 27 && final == '~' && p.count >= 3) {  // xterm modifyOtherKeys: CSI 27;mods;code ~
        return characterKeyEvent(static_cast<unsigned long>(parameterOr(p, 2, 0, 0)), modifier,
                                 KeyAction::Press, length);
    }
    bool shiftedRxvt = false;
    FunctionKey key = tildeKey(n, &shiftedRxvt);
    int bits = mods - 1;
    if (final == '$' || shiftedRxvt) bits |= 1;
    if (final == '^') bits |= 4;
    if (final == '@') bits |= 5;
    return functionKeyEvent(key, modifierOf(bits + 1, alt), action, length);
}

// ESC [ ... : collects prefix, parameters and final byte, then interprets them.
KeyEvent decodeCsi(const KeyDecoder& decoder, std::size_t pos, bool timedOut, bool alt) {
    const std::string& s = decoder.buffer;
    std::size_t i = pos + 2;
    if (i == s.size()) return timedOut ? keyEvent(extendedKey(26), 2) : needMore();  // Alt+[
    if (s[i] == '[') {  // Linux console: ESC [ [ A..E are F1..F5
        if (i + 1 == s.size()) return timedOut ? ignored(3) : needMore();
        char c = s[i + 1];
        if (c >= 'A' && c <= 'E') return functionKeyEvent(FunctionKey(F1 + c - 'A'), modifierOf(1, alt), KeyAction::Press, 4);
        return ignored(4);
    }
    char prefix = 0;
    if (s[i] == '<' || s[i] == '=' || s[i] == '>' || s[i] == '?') prefix = s[i++];
    std::size_t paramsFrom = i;
    while (i < s.size() && s[i] >= 0x30 && s[i] <= 0x3f) ++i;
    std::size_t paramsTo = i;
    bool intermediates = false;
    // rxvt ends Shift+key sequences with '$', which is otherwise an intermediate byte.
    while (i < s.size() && s[i] >= 0x20 && s[i] <= 0x2f && !(s[i] == '$' && prefix == 0)) {
        intermediates = true;
        ++i;
    }
    if (i - pos > 64) return ignored(i - pos);
    if (i == s.size()) return timedOut ? ignored(i - pos) : needMore();
    char final = s[i];
    if ((final < 0x40 && final != '$') || final > 0x7e) return ignored(i - pos);  // broken off by a control byte
    std::size_t length = i + 1 - pos;
    CsiParameters p = parseParameters(s, paramsFrom, paramsTo);
    if (prefix == '?' && final == 'u' && !intermediates) return simpleEvent(KeyEventKind::KittyFlags, length);
    if (prefix == '?' && final == 'c' && !intermediates) return simpleEvent(KeyEventKind::DeviceAttributes, length);
    if (prefix == '?' && final == 'y' && intermediates && s[i - 1] == '$') {
        KeyEvent event = simpleEvent(KeyEventKind::ModeReport, length);
        event.mode = parameterOr(p, 0, 0, 0);
        event.modeState = parameterOr(p, 1, 0, 0);
        return event;
    }
    if (prefix != 0 || intermediates) return ignored(length);
    return interpretCsi(decoder, p, final, alt, length);
}

// ESC O x: xterm's application-mode keys, the keypad, and rxvt's Ctrl with an arrow.
KeyEvent decodeSs3(const KeyDecoder& decoder, std::size_t pos, bool timedOut, bool alt) {
    const std::string& s = decoder.buffer;
    std::size_t i = pos + 2;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == s.size() && !timedOut) return needMore();
    char c = i < s.size() ? s[i] : 0;
    if (c < 0x40 || c > 0x7e) return i == pos + 2 ? keyEvent(extendedKey(24), 2) : ignored(i - pos);  // Alt+O
    std::size_t length = i + 1 - pos;
    int mods = i > pos + 2 ? std::atoi(s.substr(pos + 2, i - pos - 2).c_str()) : 1;
    if (letterKey(c) != NoFunctionKey) return functionKeyEvent(letterKey(c), modifierOf(mods, alt), KeyAction::Press, length);
    if (c >= 'a' && c <= 'd') return functionKeyEvent(letterKey(char(c - 32)), modifierOf(5, alt), KeyAction::Press, length);
    // The keypad in application mode, which the layer switches on so that its Enter is told apart
    // from Ctrl+Enter's line feed.
    static const char keypad[] = "*+,-./0123456789";  // SS3 j .. SS3 y
    int ch = c >= 'j' && c <= 'y' ? keypad[c - 'j'] : c == 'M' ? 13 : c == 'X' ? '=' : 0;
    return ch != 0 ? keypadEvent(ch, modifierOf(mods, alt), KeyAction::Press, length) : ignored(length);
}

KeyEvent withAlt(KeyEvent event) {
    event.length += 1;
    if (event.kind != KeyEventKind::Key || event.key >= 256) return event;
    int ch = event.key;
    if (ch >= 1 && ch <= 26 && ch != 8 && ch != 9 && ch != 13) ch += 'a' - 1;  // Alt+Ctrl+x
    if (ch == 10) ch = 13;
    int key = characterKeyCode(ch, AltModifier);
    event.key = key > 0 ? key : event.key;
    event.scanCode = scanCodeOfKey(event.key);
    return event;
}

KeyEvent asPlainBytes(KeyEvent event) {
    event.plainBytes = true;
    return event;
}

KeyEvent decodeFrom(const KeyDecoder& decoder, std::size_t pos, bool timedOut, bool alt) {
    const std::string& s = decoder.buffer;
    if (s[pos] != Esc) return asPlainBytes(decodePlain(decoder, pos, timedOut));
    // A lone ESC is ambiguous until no further byte follows; after the timeout it is Esc.
    if (pos + 1 == s.size()) return timedOut ? asPlainBytes(keyEvent(27, 1)) : needMore();
    char next = s[pos + 1];
    if (next == '[') return decodeCsi(decoder, pos, timedOut, alt);
    if (next == 'O') return decodeSs3(decoder, pos, timedOut, alt);
    if (next == Esc && !alt) {
        // ESC ESC: Alt+Esc, or rxvt's Alt with a sequence (ESC ESC [ A is Alt+Up).
        if (pos + 2 == s.size()) return timedOut ? asPlainBytes(keyEvent(extendedKey(1), 2)) : needMore();
        if (s[pos + 2] != '[' && s[pos + 2] != 'O') return asPlainBytes(keyEvent(extendedKey(1), 2));
        KeyEvent inner = decodeFrom(decoder, pos + 1, timedOut, true);
        if (inner.kind != KeyEventKind::NeedMore) inner.length += 1;
        return inner;
    }
    if (next == Esc) return asPlainBytes(keyEvent(extendedKey(1), 2));
    KeyEvent inner = asPlainBytes(decodePlain(decoder, pos + 1, timedOut));
    if (inner.kind == KeyEventKind::NeedMore) return inner;
    return withAlt(inner);
}

}  // namespace

void keyDecoderFeed(KeyDecoder& decoder, const char* bytes, std::size_t count, long long nowMs) {
    if (count == 0) return;
    // Bytes that waited past the timeout do not join with what arrives now: a lone ESC stays Esc.
    if (!decoder.buffer.empty() && nowMs - decoder.lastFeedMs >= EscTimeoutMs) {
        decoder.expiredLength = decoder.buffer.size();
    }
    decoder.buffer.append(bytes, count);
    decoder.lastFeedMs = nowMs;
}

KeyEvent keyDecoderNext(KeyDecoder& decoder, long long nowMs) {
    if (decoder.buffer.empty()) return KeyEvent();
    KeyEvent event;
    if (decoder.expiredLength > 0) {
        KeyDecoder expired = decoder;
        expired.buffer.resize(decoder.expiredLength);
        event = decodeFrom(expired, 0, true, false);
        decoder.expiredLength -= event.length < decoder.expiredLength ? event.length : decoder.expiredLength;
    } else {
        event = decodeFrom(decoder, 0, nowMs - decoder.lastFeedMs >= EscTimeoutMs, false);
    }
    if (event.kind == KeyEventKind::NeedMore) return event;
    if (event.length == 0 || event.length > decoder.buffer.size()) event.length = decoder.buffer.size();
    if (event.kind == KeyEventKind::CursorReport) decoder.cursorReportOutstanding = false;
    decoder.buffer.erase(0, event.length);
    return event;
}
