// Fuzzes the client's display of a received packet: the input becomes a real ENet packet whose text is
// shown as the client shows every message, through the console's screen model (the output here is not a
// terminal, so the model is kept at 80 by 25 and the bytes go to /dev/null). The model must stay whole:
// 25 rows of 80 cells, colours within the palette, the cursor on the screen.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include <enet/enet.h>

#include "client/event_display.h"
#include "common/console/console.h"
#include "common/console/console_internal.h"
#include "common/protocol.h"

namespace {

void fail(const char* what, const std::string& detail = std::string()) {
    std::fprintf(stderr, "event display: %s %s\n", what, detail.c_str());
    std::abort();
}

// Each row of the dump is: glyphs (UTF-8), '|', 80 foreground digits, '|', 80 background digits.
void checkRow(const std::string& line) {
    size_t second = line.rfind('|');
    size_t first = second == std::string::npos || second == 0 ? std::string::npos : line.rfind('|', second - 1);
    if (first == std::string::npos) fail("a row without its colour columns", line);
    std::string foreground = line.substr(first + 1, second - first - 1);
    std::string background = line.substr(second + 1);
    if (foreground.size() != 80 || background.size() != 80) fail("a row is not 80 cells wide", line);
    for (char digit : foreground + background)
        if (digit != '.' && !std::isxdigit(static_cast<unsigned char>(digit))) fail("a colour off the palette", line);
}

void checkScreen() {
    std::istringstream dump(screenDump());
    std::string line;
    int rows = 0;
    while (rows < 25 && std::getline(dump, line)) {
        checkRow(line);
        ++rows;
    }
    if (rows != 25) fail("the screen lost rows");
    int row = cursorRow(), column = cursorColumn();
    if (row < 1 || row > 25 || column < 1 || column > 80) fail("the cursor left the screen");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    close(devNull);
    return 0;
}

// Input: a colour byte (the colour the input line left in force), then the packet's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    setTextColor(data[0]);
    ENetPacket* packet = enet_packet_create(data + 1, size - 1, ENET_PACKET_FLAG_RELIABLE);
    showMessage(packetText(packet));
    enet_packet_destroy(packet);
    checkScreen();
    return 0;
}
