#include "common/text.h"

#include <cstdio>
#include <cstring>

int textLength(const Text& t) { return static_cast<int>(t.size()); }

Text leftText(const Text& t, int n) {
    if (n <= 0 || t.empty()) return Text();
    return t.substr(0, static_cast<std::size_t>(n));
}

Text midText(const Text& t, int start, int n) {
    if (t.empty() || start < 1 || start > textLength(t) || n == 0) return Text();
    std::size_t from = static_cast<std::size_t>(start - 1);
    if (n < 0) return t.substr(from);
    return t.substr(from, static_cast<std::size_t>(n));
}

int findText(int start, const Text& t, const Text& pattern) {
    if (t.empty() || pattern.empty() || start < 1 || start > textLength(t)) return 0;
    if (pattern.size() > t.size()) return 0;
    std::size_t at = t.find(pattern, static_cast<std::size_t>(start - 1));
    return at == Text::npos ? 0 : static_cast<int>(at) + 1;
}

Text repeatChar(int n, const Text& t) {
    if (n <= 0 || t.empty()) return Text();
    return Text(static_cast<std::size_t>(n), t[0]);
}

Text decimalText(std::int32_t i) { return std::to_string(i); }

Text decimalText(std::uint32_t i) { return std::to_string(i); }

Text realText(double x) {
    char buffer[32];
    int n = std::snprintf(buffer, sizeof buffer, "%.16g", x);
    if (n < 0) return Text();
    return Text(buffer, static_cast<std::size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

Text textFromBuffer(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) return Text();
    const char* bytes = static_cast<const char*>(data);
    const void* nul = std::memchr(bytes, 0, size);
    std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : size;
    return Text(bytes, length);
}
