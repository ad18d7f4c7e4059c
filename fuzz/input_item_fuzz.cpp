// Fuzzes the first-item rule of prompted line input against the rule written out a second time, byte by
// byte: leading blanks and tabs skipped; a double quote opens an item that runs to the next double quote
// or the end; otherwise the item runs to the first comma, CR or LF; at most 4096 bytes are kept.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/console/line_item.h"

namespace {

std::string expectedItem(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    bool quoted = i < line.size() && line[i] == '"';
    if (quoted) ++i;
    std::string item;
    for (; i < line.size(); ++i) {
        char c = line[i];
        if (quoted ? c == '"' : (c == ',' || c == '\r' || c == '\n')) break;
        if (item.size() < 4096) item.push_back(c);
    }
    return item;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    std::string got = firstLineItem(line);
    if (got != expectedItem(line) || got.size() > static_cast<size_t>(LineItemLimit)) {
        std::fprintf(stderr, "first item differs for a line of %zu bytes\n", size);
        std::abort();
    }
    return 0;
}
