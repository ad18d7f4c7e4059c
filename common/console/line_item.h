// The first item of a typed line, as inputText returns it: a double-quoted part, or the text up
// to the first comma or line end, after the leading blanks and tabs.
#pragma once

#include "common/text.h"

constexpr int LineItemLimit = 4096;

Text firstLineItem(const Text& line);
