// Reading the console's screen model back in the client's in-process tests: rows of glyphs with one
// foreground digit per cell, as screenDump gives them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/console/console.h"
#include "common/console/console_internal.h"

// One row of the dump: the cells' glyphs and one foreground digit per cell.
struct DumpRow {
    std::string text;
    std::string colors;
};

// Each row line ends with '|', 80 foreground digits, '|' and 80 background digits.
inline std::vector<DumpRow> dumpRows() {
    std::vector<DumpRow> rows;
    std::string dump = screenDump();
    size_t start = 0;
    for (size_t end = dump.find('\n'); end != std::string::npos; end = dump.find('\n', start)) {
        std::string line = dump.substr(start, end - start);
        start = end + 1;
        if (line.rfind("cursor ", 0) == 0) break;
        size_t width = (line.size() - line.rfind('|') - 1);
        size_t colorsAt = line.size() - 2 * width - 2;
        rows.push_back({line.substr(0, colorsAt), line.substr(colorsAt + 1, width)});
    }
    return rows;
}

inline std::string cursorLine() {
    std::string dump = screenDump();
    return dump.substr(dump.rfind("cursor "));
}

// A row's expected look: pieces of text, each in one foreground colour digit.
using Painted = std::vector<std::pair<std::string, char>>;

inline void expectRow(int row, const Painted& pieces) {
    std::string text, colors;
    for (const auto& piece : pieces) {
        text += piece.first;
        colors += std::string(piece.first.size(), piece.second);
    }
    DumpRow shown = dumpRows().at(static_cast<size_t>(row - 1));
    EXPECT_EQ(shown.text.substr(0, text.size()), text) << "row " << row;
    EXPECT_EQ(shown.colors.substr(0, colors.size()), colors) << "row " << row << ": " << text;
    EXPECT_EQ(shown.text.find_first_not_of(' ', text.size()), std::string::npos) << "row " << row;
}

inline bool screenShows(const std::string& needle) {
    for (const DumpRow& row : dumpRows()) {
        if (row.text.find(needle) != std::string::npos) return true;
    }
    return false;
}

// Scrolls everything off in a neutral colour and puts the cursor top left.
inline void freshScreen() {
    moveCursor(25, 1);
    setTextColor(0);
    for (int i = 0; i < 25; ++i) printLine("");
    moveCursor(1, 1);
}
