// The key decoder against the bytes real terminals send, per terminal family: each sequence fed
// whole and split at every byte boundary must give exactly its one key; replies are swallowed;
// a lone ESC becomes Esc only once the timeout has passed.
#include "common/console/console.h"
#include "common/console/key_tables.h"
#include "common/console/terminal/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct KeyRow {
    const char* terminal;
    std::string bytes;
    int key;
};

int ext(int code) { return extendedKey(code); }

const std::vector<KeyRow>& keyRows() {
    static const std::vector<KeyRow> rows = {
        // xterm, VTE, kitty (legacy), alacritty: CSI/SS3 with the modifier parameter.
        {"xterm", "\x1b[A", ext(72)}, {"xterm", "\x1bOA", ext(72)}, {"xterm", "\x1b[B", ext(80)},
        {"xterm", "\x1b[C", ext(77)}, {"xterm", "\x1b[D", ext(75)}, {"xterm", "\x1b[H", ext(71)},
        {"xterm", "\x1bOH", ext(71)}, {"xterm", "\x1b[F", ext(79)}, {"xterm", "\x1bOF", ext(79)},
        {"xterm", "\x1b[1;2A", ext(72)}, {"xterm", "\x1b[1;5A", ext(141)}, {"xterm", "\x1b[1;3A", ext(152)},
        {"xterm", "\x1b[1;7A", ext(152)}, {"xterm", "\x1b[1;6A", ext(141)}, {"xterm", "\x1b[1;5B", ext(145)},
        {"xterm", "\x1b[1;3B", ext(160)}, {"xterm", "\x1b[1;5C", ext(116)}, {"xterm", "\x1b[1;3C", ext(157)},
        {"xterm", "\x1b[1;5D", ext(115)}, {"xterm", "\x1b[1;3D", ext(155)}, {"xterm", "\x1b[1;5H", ext(119)},
        {"xterm", "\x1b[1;3H", ext(151)}, {"xterm", "\x1b[1;5F", ext(117)}, {"xterm", "\x1b[1;3F", ext(159)},
        {"xterm", "\x1b[2~", ext(82)}, {"xterm", "\x1b[3~", ext(83)}, {"xterm", "\x1b[5~", ext(73)},
        {"xterm", "\x1b[6~", ext(81)}, {"xterm", "\x1b[2;5~", ext(146)}, {"xterm", "\x1b[2;3~", ext(162)},
        {"xterm", "\x1b[3;5~", ext(147)}, {"xterm", "\x1b[3;3~", ext(163)}, {"xterm", "\x1b[3;2~", ext(83)},
        {"xterm", "\x1b[5;5~", ext(132)}, {"xterm", "\x1b[5;3~", ext(153)}, {"xterm", "\x1b[6;5~", ext(118)},
        {"xterm", "\x1b[6;3~", ext(161)},
        {"xterm", "\x1bOP", ext(59)}, {"xterm", "\x1bOQ", ext(60)}, {"xterm", "\x1bOR", ext(61)},
        {"xterm", "\x1bOS", ext(62)}, {"xterm", "\x1b[15~", ext(63)}, {"xterm", "\x1b[17~", ext(64)},
        {"xterm", "\x1b[18~", ext(65)}, {"xterm", "\x1b[19~", ext(66)}, {"xterm", "\x1b[20~", ext(67)},
        {"xterm", "\x1b[21~", ext(68)}, {"xterm", "\x1b[23~", ext(133)}, {"xterm", "\x1b[24~", ext(134)},
        {"xterm", "\x1b[1;2P", ext(84)}, {"xterm", "\x1b[1;5P", ext(94)}, {"xterm", "\x1b[1;3P", ext(104)},
        {"xterm", "\x1b[1;2R", ext(86)}, {"xterm", "\x1b[1;5S", ext(97)}, {"xterm", "\x1b[15;2~", ext(88)},
        {"xterm", "\x1b[21;5~", ext(103)}, {"xterm", "\x1b[21;3~", ext(113)}, {"xterm", "\x1b[23;2~", ext(135)},
        {"xterm", "\x1b[24;2~", ext(136)}, {"xterm", "\x1b[23;5~", ext(137)}, {"xterm", "\x1b[24;5~", ext(138)},
        {"xterm", "\x1b[23;3~", ext(139)}, {"xterm", "\x1b[24;3~", ext(140)},
        {"xterm", "\x1b[Z", ext(15)}, {"xterm", "\x1b[27;5;97~", 1},
        // The keypad in application mode (ESC =), as tmux and xterm send it: what it types with Num Lock on,
        // and with Ctrl or Alt the BIOS codes of the keypad (Alt with a digit composes, so gives nothing).
        {"keypad", "\x1bOM", 13}, {"keypad", "\x1bOp", '0'}, {"keypad", "\x1bOq", '1'}, {"keypad", "\x1bOr", '2'},
        {"keypad", "\x1bOs", '3'}, {"keypad", "\x1bOt", '4'}, {"keypad", "\x1bOu", '5'}, {"keypad", "\x1bOv", '6'},
        {"keypad", "\x1bOw", '7'}, {"keypad", "\x1bOx", '8'}, {"keypad", "\x1bOy", '9'}, {"keypad", "\x1bOj", '*'},
        {"keypad", "\x1bOk", '+'}, {"keypad", "\x1bOl", ','}, {"keypad", "\x1bOm", '-'}, {"keypad", "\x1bOn", '.'},
        {"keypad", "\x1bOo", '/'}, {"keypad", "\x1bOX", '='}, {"keypad", "\x1bO5k", ext(144)},
        {"keypad", "\x1b\x1bOk", ext(78)}, {"keypad", "\x1b\x1bOM", ext(166)}, {"keypad", "\x1bO5q", ext(117)},
        {"keypad", "\x1b[57412;3u", ext(74)}, {"keypad", "\x1b[57410;5u", ext(149)}, {"keypad", "\x1b[57414;5u", 10},
        // Plain bytes: Enter, Tab, both Backspaces, Ctrl+letters, Ctrl+Enter as line feed.
        {"any", "\r", 13}, {"any", "\t", 9}, {"any", "\x7f", 8}, {"any", "\x08", 8}, {"any", "\n", 10},
        {"any", "\x01", 1}, {"any", "\x1a", 26}, {"any", "a", 'a'}, {"any", "Z", 'Z'}, {"any", " ", ' '},
        // Alt as an ESC prefix (xterm with metaSendsEscape, VTE, tmux, screen, rxvt, the Linux console).
        {"alt", "\x1bq", ext(16)}, {"alt", "\x1bQ", ext(16)}, {"alt", "\x1bp", ext(25)}, {"alt", "\x1b" "a", ext(30)},
        {"alt", "\x1bl", ext(38)}, {"alt", "\x1bz", ext(44)}, {"alt", "\x1bm", ext(50)}, {"alt", "\x1b" "1", ext(120)},
        {"alt", "\x1b" "9", ext(128)}, {"alt", "\x1b" "0", ext(129)}, {"alt", "\x1b-", ext(130)},
        {"alt", "\x1b=", ext(131)}, {"alt", "\x1b]", ext(27)}, {"alt", "\x1b;", ext(39)}, {"alt", "\x1b'", ext(40)},
        {"alt", "\x1b`", ext(41)}, {"alt", "\x1b\\", ext(43)}, {"alt", "\x1b,", ext(51)}, {"alt", "\x1b.", ext(52)},
        {"alt", "\x1b/", ext(53)}, {"alt", "\x1b\x7f", ext(14)}, {"alt", "\x1b\x08", ext(14)},
        {"alt", "\x1b\r", ext(28)}, {"alt", "\x1b\t", ext(165)}, {"alt", "\x1b!", '!'}, {"alt", "\x1b ", ' '}, {"alt", "\x1b\x11", ext(16)},
        // tmux and GNU screen: Home and End as CSI 1~ and 4~.
        {"tmux", "\x1b[1~", ext(71)}, {"tmux", "\x1b[4~", ext(79)},
        // rxvt-unicode: $ for Shift, ^ for Ctrl, @ for both, lower case for Shift/Ctrl arrows, ESC ESC for Alt.
        {"rxvt", "\x1b[7~", ext(71)}, {"rxvt", "\x1b[8~", ext(79)}, {"rxvt", "\x1b[7$", ext(71)},
        {"rxvt", "\x1b[7^", ext(119)}, {"rxvt", "\x1b[8^", ext(117)}, {"rxvt", "\x1b[8@", ext(117)},
        {"rxvt", "\x1b[3$", ext(83)}, {"rxvt", "\x1b[3^", ext(147)}, {"rxvt", "\x1b[2^", ext(146)},
        {"rxvt", "\x1b[5^", ext(132)}, {"rxvt", "\x1b[6^", ext(118)}, {"rxvt", "\x1b[a", ext(72)},
        {"rxvt", "\x1b[d", ext(75)}, {"rxvt", "\x1bOa", ext(141)}, {"rxvt", "\x1bOb", ext(145)},
        {"rxvt", "\x1bOc", ext(116)}, {"rxvt", "\x1bOd", ext(115)}, {"rxvt", "\x1b\x1b[A", ext(152)},
        {"rxvt", "\x1b\x1b[D", ext(155)}, {"rxvt", "\x1b\x1b[5~", ext(153)}, {"rxvt", "\x1b[11~", ext(59)},
        {"rxvt", "\x1b[14~", ext(62)}, {"rxvt", "\x1b[25~", ext(86)}, {"rxvt", "\x1b[34~", ext(93)},
        {"rxvt", "\x1b[23$", ext(135)}, {"rxvt", "\x1b[24$", ext(136)}, {"rxvt", "\x1b[11^", ext(94)},
        {"rxvt", "\x1b[24^", ext(138)},
        // The Linux console: F1..F5 as ESC [ [ A..E.
        {"linux", "\x1b[[A", ext(59)}, {"linux", "\x1b[[B", ext(60)}, {"linux", "\x1b[[C", ext(61)},
        {"linux", "\x1b[[D", ext(62)}, {"linux", "\x1b[[E", ext(63)},
        // kitty keyboard protocol (flags 1|2): CSI code;mods u, with ':' sub-parameters.
        {"kitty", "\x1b[27u", 27}, {"kitty", "\x1b[27;3u", ext(1)}, {"kitty", "\x1b[97;5u", 1},
        {"kitty", "\x1b[97;6u", 1}, {"kitty", "\x1b[113;3u", ext(16)}, {"kitty", "\x1b[113;7u", ext(16)},
        {"kitty", "\x1b[49;3u", ext(120)}, {"kitty", "\x1b[13;5u", 10}, {"kitty", "\x1b[13;3u", ext(28)},
        {"kitty", "\x1b[9;2u", ext(15)}, {"kitty", "\x1b[9;5u", ext(148)}, {"kitty", "\x1b[9;3u", ext(165)},
        {"kitty", "\x1b[127;3u", ext(14)}, {"kitty", "\x1b[13~", ext(61)}, {"kitty", "\x1b[13;2~", ext(86)},
        {"kitty", "\x1b[127;5u", 127},  // Ctrl+Backspace types DEL, as the BIOS has it
        {"kitty", "\x1b[57399u", '0'}, {"kitty", "\x1b[57414u", 13}, {"kitty", "\x1b[57417u", ext(75)},
        {"kitty", "\x1b[57419;5u", ext(141)}, {"kitty", "\x1b[57426u", ext(83)}, {"kitty", "\x1b[97:65;5u", 1},
        {"kitty", "\x1b[1;5:1A", ext(141)}, {"kitty", "\x1b[233;3u", 0x82},
        // kitty with every key as an escape code and its text (flags 8|16), Num Lock (128) or Caps Lock (64) on.
        {"kitty8", "\x1b[13u", 13}, {"kitty8", "\x1b[9u", 9}, {"kitty8", "\x1b[127u", 8},
        {"kitty8", "\x1b[13;129u", 13}, {"kitty8", "\x1b[127;129u", 8}, {"kitty8", "\x1b[97;;97u", 'a'},
        {"kitty8", "\x1b[98;2;66u", 'B'}, {"kitty8", "\x1b[49;2;33u", '!'}, {"kitty8", "\x1b[97;65;65u", 'A'},
        {"kitty8", "\x1b[233;;233u", 0x82}, {"kitty8", "\x1b[32;;32u", ' '},
        // UTF-8 text from a terminal: characters of code page 437 become its bytes.
        {"utf8", "\xc3\xa9", 0x82}, {"utf8", "\xc3\x87", 0x80}, {"utf8", "\xe2\x96\x91", 0xB0},
        {"utf8", "\xc2\xa0", 0xFF}, {"utf8", "\x1b\xc3\xa9", 0x82},
        // What code page 437 lacks (the euro sign, a check mark) is '?', as the Win32 console gives it.
        {"utf8", "\xe2\x82\xac", '?'}, {"utf8", "\xe2\x9c\x93", '?'},
    };
    return rows;
}

struct Pulled {
    std::vector<KeyEvent> events;
    bool needMore = false;
};

// Pulls every event the decoder gives at this time.
Pulled pull(KeyDecoder& decoder, long long now) {
    Pulled pulled;
    for (;;) {
        KeyEvent event = keyDecoderNext(decoder, now);
        if (event.kind == KeyEventKind::None) break;
        if (event.kind == KeyEventKind::NeedMore) {
            pulled.needMore = true;
            break;
        }
        pulled.events.push_back(event);
    }
    return pulled;
}

std::vector<int> keysOf(const std::vector<KeyEvent>& events) {
    std::vector<int> keys;
    for (const KeyEvent& event : events) {
        if (event.kind == KeyEventKind::Key && event.action != KeyAction::Release) keys.push_back(event.key);
    }
    return keys;
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02x ", c);
        text += part;
    }
    return text;
}

// Feeds the sequence in two parts (split at 0 means whole), the second within the timeout.
std::vector<int> decodeSplit(const std::string& bytes, std::size_t split) {
    KeyDecoder decoder;
    std::vector<KeyEvent> events;
    keyDecoderFeed(decoder, bytes.data(), split, 0);
    Pulled first = pull(decoder, 0);
    events = first.events;
    keyDecoderFeed(decoder, bytes.data() + split, bytes.size() - split, 1);
    Pulled second = pull(decoder, 1);
    events.insert(events.end(), second.events.begin(), second.events.end());
    Pulled late = pull(decoder, 1000);
    events.insert(events.end(), late.events.begin(), late.events.end());
    return keysOf(events);
}

TEST(KeyDecoderTest, EachTerminalSequenceGivesItsKeyWholeAndSplit) {
    for (const KeyRow& row : keyRows()) {
        for (std::size_t split = 0; split < row.bytes.size(); ++split) {
            std::vector<int> keys = decodeSplit(row.bytes, split);
            EXPECT_EQ(keys, std::vector<int>{row.key})
                << row.terminal << " bytes " << hex(row.bytes) << "split at " << split;
        }
    }
}

TEST(KeyDecoderTest, SequencesBackToBackInOneFeed) {
    std::string all;
    std::vector<int> expected;
    for (const KeyRow& row : keyRows()) {
        all += row.bytes;
        expected.push_back(row.key);
    }
    KeyDecoder decoder;
    keyDecoderFeed(decoder, all.data(), all.size(), 0);
    EXPECT_EQ(keysOf(pull(decoder, 0).events), expected);
}

TEST(KeyDecoderTest, LoneEscWaitsForTheTimeout) {
    KeyDecoder decoder;
    keyDecoderFeed(decoder, "\x1b", 1, 100);
    EXPECT_TRUE(pull(decoder, 100).needMore);
    EXPECT_TRUE(pull(decoder, 100 + EscTimeoutMs - 1).needMore);
    Pulled pulled = pull(decoder, 100 + EscTimeoutMs);
    ASSERT_EQ(keysOf(pulled.events), std::vector<int>{27});
    EXPECT_EQ(pulled.events[0].scanCode, 1);
    EXPECT_FALSE(pulled.needMore);
}

TEST(KeyDecoderTest, EscThatWaitedOutDoesNotJoinTheNextKey) {
    // Nobody asked in between; the byte after a timed-out ESC is a key of its own.
    KeyDecoder decoder;
    keyDecoderFeed(decoder, "\x1b", 1, 0);
    keyDecoderFeed(decoder, "x", 1, 200);
    EXPECT_EQ(keysOf(pull(decoder, 200).events), (std::vector<int>{27, 'x'}));
    keyDecoderFeed(decoder, "\x1b", 1, 300);
    keyDecoderFeed(decoder, "[A", 2, 400);
    EXPECT_EQ(keysOf(pull(decoder, 400).events), (std::vector<int>{27, '[', 'A'}));
}

TEST(KeyDecoderTest, PrefixesAloneResolveAfterTheTimeout) {
    struct Row {
        std::string bytes;
        std::vector<int> keys;
    };
    const Row rows[] = {
        {"\x1b\x1b", {ext(1)}},          // Alt+Esc
        {"\x1b[", {ext(26)}},            // Alt+[
        {"\x1bO", {ext(24)}},            // Alt+O
        {"\x1b[1;5", {}},                // a broken-off sequence is swallowed whole
        {"\xc3", {}},                    // half a UTF-8 character
        {"\x1b\x1b\x1b", {ext(1), 27}},  // Alt+Esc, then Esc
    };
    for (const Row& row : rows) {
        KeyDecoder decoder;
        keyDecoderFeed(decoder, row.bytes.data(), row.bytes.size(), 0);
        Pulled early = pull(decoder, 0);
        EXPECT_TRUE(early.needMore) << hex(row.bytes);
        std::vector<int> keys = keysOf(early.events);
        for (int key : keysOf(pull(decoder, EscTimeoutMs).events)) keys.push_back(key);
        EXPECT_EQ(keys, row.keys) << hex(row.bytes);
        EXPECT_TRUE(decoder.buffer.empty()) << hex(row.bytes);
    }
}

struct EventRow {
    std::string bytes;
    KeyEventKind kind;
};

TEST(KeyDecoderTest, RepliesAndUnknownSequencesAreSwallowedWhole) {
    const EventRow rows[] = {
        {"\x1b[I", KeyEventKind::FocusIn},
        {"\x1b[O", KeyEventKind::FocusOut},
        {"\x1b[?1u", KeyEventKind::KittyFlags},
        {"\x1b[?0u", KeyEventKind::KittyFlags},
        {"\x1b[?62;22c", KeyEventKind::DeviceAttributes},
        {"\x1b[?1;2c", KeyEventKind::DeviceAttributes},
        {"\x1b[?25;2$y", KeyEventKind::ModeReport},
        {"\x1b[>41;380;0c", KeyEventKind::Ignored},
        {"\x1b[12;40R", KeyEventKind::Ignored},  // a cursor report nobody asked for
        {"\x1b[200~", KeyEventKind::Ignored},
        {"\x1b[99;5u", KeyEventKind::Interrupt},
        {"\x1b[99;6u", KeyEventKind::Interrupt},
        {"\x1b[122;5u", KeyEventKind::Suspend},
        {"\x1b[99;5:3u", KeyEventKind::Ignored},   // the release of Ctrl+C
        {"\x1b[57441u", KeyEventKind::Ignored},    // Shift alone
        {"\x1b[57358u", KeyEventKind::Ignored},    // Caps Lock
        {"\x1b[[Z", KeyEventKind::Ignored},
        {"\x1bOE", KeyEventKind::Ignored},         // keypad 5 has no code
        {"\x1b\x1bOq", KeyEventKind::Ignored},     // Alt with keypad 1 composes a character on a PC
        {"\x1b[E", KeyEventKind::Ignored},
        {"\x1b[1;5X", KeyEventKind::Ignored},
        {"\x1b[99~", KeyEventKind::Ignored},
        {std::string("\x00", 1), KeyEventKind::Ignored},
        {"\x03", KeyEventKind::Ignored},
    };
    for (const EventRow& row : rows) {
        for (std::size_t split = 0; split < row.bytes.size(); ++split) {
            KeyDecoder decoder;
            keyDecoderFeed(decoder, row.bytes.data(), split, 0);
            Pulled first = pull(decoder, 0);
            keyDecoderFeed(decoder, row.bytes.data() + split, row.bytes.size() - split, 1);
            Pulled second = pull(decoder, 1);
            std::vector<KeyEvent> events = first.events;
            events.insert(events.end(), second.events.begin(), second.events.end());
            ASSERT_EQ(events.size(), 1u) << hex(row.bytes) << "split at " << split;
            EXPECT_EQ(events[0].kind, row.kind) << hex(row.bytes);
            EXPECT_EQ(events[0].length, row.bytes.size()) << hex(row.bytes);
        }
    }
}

TEST(KeyDecoderTest, CursorReportOnlyWhileOneIsAwaited) {
    KeyDecoder decoder;
    decoder.cursorReportOutstanding = true;
    keyDecoderFeed(decoder, "\x1b[1;2R\x1b[1;2R", 12, 0);
    Pulled pulled = pull(decoder, 0);
    ASSERT_EQ(pulled.events.size(), 2u);
    EXPECT_EQ(pulled.events[0].kind, KeyEventKind::CursorReport);
    EXPECT_EQ(pulled.events[0].row, 1);
    EXPECT_EQ(pulled.events[0].column, 2);
    EXPECT_FALSE(decoder.cursorReportOutstanding);
    EXPECT_EQ(pulled.events[1].kind, KeyEventKind::Key);  // the second is Shift+F3
    EXPECT_EQ(pulled.events[1].key, ext(86));
}

TEST(KeyDecoderTest, KittyPressRepeatRelease) {
    struct Row {
        std::string bytes;
        int key;
        KeyAction action;
        int scanCode;
        bool plainBytes = false;  // no release will follow
    };
    const Row rows[] = {
        {"\x1b[27u", 27, KeyAction::Press, 1},
        {"\x1b[27;1:1u", 27, KeyAction::Press, 1},
        {"\x1b[27;1:2u", 27, KeyAction::Repeat, 1},
        {"\x1b[27;1:3u", 27, KeyAction::Release, 1},
        {"\x1b[97;1:3u", 'a', KeyAction::Release, 30},
        {"\x1b[1;1:3A", ext(72), KeyAction::Release, 72},
        {"\x1b[1;5:2C", ext(116), KeyAction::Repeat, 77},
        {"\x1b[3;1:3~", ext(83), KeyAction::Release, 83},
        {"\x1b[1;1:3P", ext(59), KeyAction::Release, 59},
        {"\x1b[13;1:3u", 13, KeyAction::Release, 28},  // Enter, Tab and Backspace under flag 8
        {"\x1b[9;1:3u", 9, KeyAction::Release, 15},
        {"\x1b[127;1:3u", 8, KeyAction::Release, 14},
        {"\x1b[13;129:3u", 13, KeyAction::Release, 28},
        {"\x1b[127;129:3u", 8, KeyAction::Release, 14},
        {"\x1b[98;2:2;66u", 'B', KeyAction::Repeat, 48},
        {"\r", 13, KeyAction::Press, 28, true},
        {"\x7f", 8, KeyAction::Press, 14, true},
    };
    for (const Row& row : rows) {
        KeyDecoder decoder;
        keyDecoderFeed(decoder, row.bytes.data(), row.bytes.size(), 0);
        KeyEvent event = keyDecoderNext(decoder, 0);
        ASSERT_EQ(event.kind, KeyEventKind::Key) << hex(row.bytes);
        EXPECT_EQ(event.key, row.key) << hex(row.bytes);
        EXPECT_EQ(event.action, row.action) << hex(row.bytes);
        EXPECT_EQ(event.scanCode, row.scanCode) << hex(row.bytes);
        EXPECT_EQ(event.plainBytes, row.plainBytes) << hex(row.bytes);
    }
}

TEST(KeyDecoderTest, PipeBytesAreTakenAsTheyAre) {
    KeyDecoder decoder;
    decoder.utf8Input = false;
    keyDecoderFeed(decoder, "\xc3\xa9\x82\xff", 4, 0);
    EXPECT_EQ(keysOf(pull(decoder, 0).events), (std::vector<int>{0xc3, 0xa9, 0x82, 0xff}));
}

TEST(KeyDecoderTest, BrokenUtf8IsDroppedWithoutLosingTheNextKey) {
    KeyDecoder decoder;
    keyDecoderFeed(decoder, "\xc3" "a\x80\xff" "b", 5, 0);
    EXPECT_EQ(keysOf(pull(decoder, 0).events), (std::vector<int>{'a', 'b'}));
}

TEST(KeyDecoderTest, ControlByteBreaksOffASequence) {
    // A sequence cut short by a control byte is dropped; the byte after it still counts.
    KeyDecoder decoder;
    keyDecoderFeed(decoder, "\x1b[1;5\r", 6, 0);
    EXPECT_EQ(keysOf(pull(decoder, 0).events), std::vector<int>{13});
}

TEST(KeyDecoderTest, ScanCodesOfKeys) {
    struct Row {
        int key;
        int scanCode;
    };
    const Row rows[] = {
        {27, 1}, {ext(1), 1}, {'1', 2}, {'!', 2}, {'0', 11}, {'q', 16}, {'Q', 16}, {17, 16}, {13, 28},
        {10, 28}, {8, 14}, {9, 15}, {ext(15), 15}, {' ', 57}, {ext(59), 59}, {ext(104), 59},
        {ext(133), 87}, {ext(140), 88}, {ext(141), 72}, {ext(16), 16}, {ext(120), 2}, {ext(131), 13},
        {ext(144), 78}, {ext(55), 55}, {ext(166), 28}, {ext(160), 80}, {0xB0, 0},
    };
    for (const Row& row : rows) EXPECT_EQ(scanCodeOfKey(row.key), row.scanCode) << row.key;
}

}  // namespace
