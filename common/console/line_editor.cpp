#include "common/console/line_editor.h"

#include "common/console/console.h"

namespace {

EditOutcome moveTo(LineEditor& editor, int position) {
    if (position == editor.position) return EditOutcome::Ignored;
    editor.position = position;
    return EditOutcome::Moved;
}

EditOutcome insertBytes(LineEditor& editor, const Text& bytes, int* changedFrom) {
    *changedFrom = editor.position;
    editor.line.insert(static_cast<std::size_t>(editor.position), bytes);
    editor.position += textLength(bytes);
    return EditOutcome::Changed;
}

EditOutcome eraseAt(LineEditor& editor, int position, int* changedFrom) {
    editor.line.erase(static_cast<std::size_t>(position), 1);
    editor.position = position;
    *changedFrom = position;
    return EditOutcome::Changed;
}

EditOutcome editExtended(LineEditor& editor, int code, int width, int* changedFrom) {
    int length = textLength(editor.line);
    switch (code) {
    case 83:  // Del
        if (editor.position >= length) return EditOutcome::Beep;
        return eraseAt(editor, editor.position, changedFrom);
    case 75: return moveTo(editor, editor.position > 0 ? editor.position - 1 : 0);
    case 77: return moveTo(editor, editor.position < length ? editor.position + 1 : length);
    case 71: return moveTo(editor, 0);
    case 79: return moveTo(editor, length);
    case 72:
        if (width <= 0 || editor.position - width < 0) return EditOutcome::Ignored;
        return moveTo(editor, editor.position - width);
    case 80:
        if (width <= 0 || editor.position + width > length) return EditOutcome::Ignored;
        return moveTo(editor, editor.position + width);
    default: return EditOutcome::Ignored;
    }
}

}  // namespace

EditOutcome editLine(LineEditor& editor, int key, int width, int* changedFrom) {
    if (editor.finished) return EditOutcome::Ignored;
    if (key >= 256) return editExtended(editor, key >> 8, width, changedFrom);
    if (key == 13 || key == 10) {
        editor.finished = true;
        return EditOutcome::Finished;
    }
    if (key >= 32) return insertBytes(editor, Text(1, static_cast<char>(key)), changedFrom);
    if (key == 9) return insertBytes(editor, Text(8 - editor.position % 8, ' '), changedFrom);
    if (key == 8) {
        if (editor.position == 0) return EditOutcome::Ignored;
        return eraseAt(editor, editor.position - 1, changedFrom);
    }
    if (key == 27) {
        if (editor.line.empty()) return EditOutcome::Ignored;
        editor.line.clear();
        editor.position = 0;
        *changedFrom = 0;
        return EditOutcome::Changed;
    }
    return EditOutcome::Ignored;
}
