// The editing state of inputText's line: the bytes typed so far and the text cursor within them.
// Applying a key changes only this record; drawing the line is left to the caller.
#pragma once

#include "common/text.h"

struct LineEditor {
    Text line;
    int position = 0;       // the text cursor, 0 to the line's length
    bool finished = false;  // Enter or line feed ended the line
};

enum class EditOutcome {
    Ignored,   // the key means nothing to the editor
    Moved,     // only the text cursor moved
    Changed,   // the line's bytes changed from changedFrom on
    Beep,      // Del at the end of the line
    Finished,  // Enter or line feed
};

// Applies one key code (a byte below 256 or an extended key); width is the screen's width,
// the step of Up and Down. *changedFrom gets the first position whose byte may differ.
EditOutcome editLine(LineEditor& editor, int key, int width, int* changedFrom);
