// Texts: byte strings with an explicit length, any byte value, positions counted from 1.
// The operations never fail: where a position or length makes no sense they give the empty text or 0.
#pragma once

#include <cstdint>
#include <string>

using Text = std::string;

int textLength(const Text& t);
// The first n bytes of t; all of t when n reaches past its end.
Text leftText(const Text& t, int n);
// n bytes of t from the 1-based position start; a negative n runs to the end of t.
Text midText(const Text& t, int start, int n);
// The 1-based position of the first pattern in t at or after start, or 0.
int findText(int start, const Text& t, const Text& pattern);
// n copies of the first byte of t.
Text repeatChar(int n, const Text& t);
Text decimalText(std::int32_t i);
Text decimalText(std::uint32_t i);
// x as "%.16g" formats it.
Text realText(double x);
// The text of a NUL-terminated buffer of at most size bytes: up to the first NUL, or all of it.
Text textFromBuffer(const void* data, std::size_t size);
