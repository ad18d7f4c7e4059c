#include "common/console/line_item.h"

Text firstLineItem(const Text& line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    Text item;
    if (i < line.size() && line[i] == '"') {
        std::size_t close = line.find('"', i + 1);
        std::size_t end = close == Text::npos ? line.size() : close;
        item = line.substr(i + 1, end - i - 1);
    } else {
        std::size_t end = line.find_first_of(",\r\n", i);
        if (end == Text::npos) end = line.size();
        item = line.substr(i, end - i);
    }
    if (item.size() > static_cast<std::size_t>(LineItemLimit)) item.resize(LineItemLimit);
    return item;
}
