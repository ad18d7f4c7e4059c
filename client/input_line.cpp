#include "client/input_line.h"

#include "client/event_display.h"
#include "common/console/console.h"
#include "common/protocol.h"

namespace {

const int InputRow = 25;
const int InputColor = 2;
const int AutoSendLength = 70;
const int ClearingWidth = 75;
const Text SendKey = "\r";
const Text EraseKey = "\b";

// Blanks the input row, keeping the cursor's row for the lines that arrive.
void clearInputLine() {
    int row = cursorRow();
    moveCursor(InputRow, 1);
    print(repeatChar(ClearingWidth, " "));
    moveCursor(row, 1);
}

void eraseLastCharacter(Text* line) {
    if (line->empty()) return;
    line->pop_back();
    drawInputLine(*line, "_ ");
}

}  // namespace

Text makeMessage(const Text& line) {
    if (leftText(line, 1) != "/") return SayTag + line;
    int blank = findText(1, line, " ");
    Text word = blank == 0 ? midText(line, 2, -1) : midText(line, 2, blank - 2);
    if (word == "name") return RenameTag + (blank == 0 ? line : midText(line, blank + 1, -1));
    if (word == "who") return WhoTag;
    return line;
}

void sendInputLine(ENetHost* host, ENetPeer* peer, Text* line) {
    clearInputLine();
    // A packet ENet refuses (the connection is not up, or is gone) is destroyed by sendPacket; one
    // that cannot be created is not sent.
    ENetPacket* packet = createTextPacket(makeMessage(*line));
    if (packet != nullptr) {
        sendPacket(peer, packet);
        enet_host_flush(host);
    }
    line->clear();
}

void drawInputLine(const Text& line, const Text& mark) {
    int row = cursorRow();
    moveCursor(InputRow, 1);
    setTextColor(InputColor);
    print("> ");
    print(line);
    print(mark);
    moveCursor(row, 1);
}

void chatLoop(ENetHost* host, ENetPeer* peer) {
    Text line;
    while (!isKeyDown(EscScanCode)) {
        // A line past the limit goes out before any further key is read, so the key that follows
        // stays queued and starts the next line instead of being lost.
        if (textLength(line) > AutoSendLength) {
            sendInputLine(host, peer, &line);
        } else {
            Text key = pollKey();
            if (key == SendKey) {
                sendInputLine(host, peer, &line);
            } else if (key == EraseKey) {
                eraseLastCharacter(&line);
            } else if (!key.empty()) {
                line += key;
                drawInputLine(line, "_");
            }
        }
        serviceNetwork(host);
        pause(10);
    }
}
