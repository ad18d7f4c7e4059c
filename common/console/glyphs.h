// The glyph each byte shows as in a screen cell: the IBM PC's code page 437, drawn as UTF-8, or a
// plain ASCII substitute on a terminal that does not take UTF-8. No byte ever reaches the terminal as itself
// unless it is printable ASCII, so no byte of a text can act as a terminal command.
#pragma once

#include <string>

// The Unicode code point of the code page 437 glyph for a byte (0 shows as a blank).
char32_t glyphCodePoint(unsigned char byte);

// Appends the glyph for a byte: its UTF-8 encoding when utf8 is set, else the plain substitute.
void appendGlyph(std::string* out, unsigned char byte, bool utf8);

// The one-byte substitute for a terminal without UTF-8: printable ASCII as itself, 0 and 255 (which
// code page 437 shows as blanks) as a blank, every other byte as '?'.
char plainGlyph(unsigned char byte);
