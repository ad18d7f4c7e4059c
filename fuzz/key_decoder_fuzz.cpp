// Fuzzes the key decoder with arbitrary input bytes fed in pieces at arbitrary times. Checks that every
// event consumes bytes, that key codes are well formed, that the decoder always makes progress, and that
// once the Esc timeout has passed with no further input nothing stays buffered.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "common/console/console.h"
#include "common/console/terminal/key_decoder.h"

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "key decoder: %s\n", what);
    std::abort();
}

bool wellFormedKey(int key) {
    if (key >= 0 && key < 256) return true;
    int code = key >> 8;
    return (key & 0xff) == ExtendedKeyPrefix && code >= 1 && code <= 255;
}

void checkEvent(const KeyEvent& event) {
    if (event.kind == KeyEventKind::None || event.kind == KeyEventKind::NeedMore) return;
    if (event.length == 0) fail("an event consumed no input");
    if (event.kind == KeyEventKind::Key && !wellFormedKey(event.key)) fail("malformed key code");
    if (event.scanCode < 0) fail("negative scan code");
}

// Takes events until the decoder has nothing decodable; returns the bytes they consumed.
size_t drain(KeyDecoder& decoder, long long nowMs) {
    size_t consumed = 0;
    // Each event consumes at least one byte, so the buffer bounds the number of events.
    size_t limit = decoder.buffer.size() + 2;
    for (size_t i = 0; i <= limit; ++i) {
        size_t before = decoder.buffer.size();
        KeyEvent event = keyDecoderNext(decoder, nowMs);
        checkEvent(event);
        if (event.kind == KeyEventKind::None || event.kind == KeyEventKind::NeedMore) {
            if (decoder.buffer.size() != before) fail("bytes vanished without an event");
            return consumed;
        }
        if (before - decoder.buffer.size() != event.length) fail("event length differs from bytes taken");
        consumed += event.length;
    }
    fail("the decoder made no progress");
    return consumed;
}

}  // namespace

// Input: a flags byte, then pieces of [time step in ms][length][bytes].
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    KeyDecoder decoder;
    decoder.utf8Input = (data[0] & 1) == 0;
    decoder.cursorReportOutstanding = (data[0] & 2) != 0;
    long long now = 1000;
    size_t fed = 0, consumed = 0, at = 1;
    while (at + 2 <= size) {
        now += data[at] % 64;
        size_t length = data[at + 1] % 64;
        at += 2;
        if (length > size - at) length = size - at;
        keyDecoderFeed(decoder, reinterpret_cast<const char*>(data + at), length, now);
        fed += length;
        at += length;
        consumed += drain(decoder, now);
    }
    // Nothing more arrives: past the Esc timeout every byte must have become an event.
    now += EscTimeoutMs + 1;
    consumed += drain(decoder, now);
    if (!decoder.buffer.empty()) fail("bytes stay buffered after the Esc timeout");
    if (consumed != fed) fail("events do not account for every byte fed");
    return 0;
}
