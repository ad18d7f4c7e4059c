// Fuzzes makeMessage against the rules written out a second time with plain string operations: a line
// that does not begin with "/" is said; "/name" renames to what follows the first blank (to the whole line
// when there is none); "/who" lists; any other line beginning with "/" goes out as typed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/input_line.h"

namespace {

std::string expectedMessage(const std::string& line) {
    if (line.empty() || line[0] != '/') return "SAY " + line;
    size_t blank = line.find(' ');
    std::string word = blank == std::string::npos ? line.substr(1) : line.substr(1, blank - 1);
    if (word == "name") return "REN " + (blank == std::string::npos ? line : line.substr(blank + 1));
    if (word == "who") return "WHO ";
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    std::string got = makeMessage(line);
    if (got != expectedMessage(line)) {
        std::fprintf(stderr, "makeMessage differs for a line of %zu bytes\n", size);
        std::abort();
    }
    return 0;
}
